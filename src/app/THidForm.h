// The hidden main form: owns every long-lived component for the whole run and handles every
// hotkey, timer tick and tray event on the GUI thread. It never shows a window: it is no
// widget at all, and the tray icon is the only visible sign of the program.
//
// Its operations read like the ordered steps they perform; each step belongs to a module.
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

#include "actions/AfterCaptureActions.h"
#include "app/ErrorReporter.h"
#include "ftp/FtpClient.h"
#include "ftp/FtpUploadJob.h"
#include "platform/AutostartEntry.h"
#include "platform/HotkeyBackend.h"
#include "platform/Launcher.h"
#include "platform/UserEnvironment.h"
#include "settings/Registry.h"
#include "settings/TFormStorage.h"
#include "shell/HotKeyManager.h"
#include "shell/TrayIcon.h"

namespace lumivex {

class THidForm : public QObject {
  Q_OBJECT

 public:
  struct Services {
    const platform::UserEnvironment& environment;
    ErrorReporter& errors;
    QString languageFile;  // "lang.txt" in the executable's folder
    // System-wide hotkeys; null chooses the X11 grabs, or none off X11.
    platform::HotkeyBackend* hotkeys = nullptr;
    // Starts the mail program and the archiver; null starts nothing.
    platform::Launcher* launcher = nullptr;
    // The options dialog's start-up list and 7-Zip lookup. Without `autostart` no dialog is
    // shown: tests watch optionsDialogRequested instead.
    platform::AutostartEntry* autostart = nullptr;
    std::function<bool()> archiverPresent = nullptr;
  };

  // Creates the components and runs FormCreate.
  explicit THidForm(Services services, QObject* parent = nullptr);
  ~THidForm() override;

  // Localised text for a string number (the language file, or the built-in default).
  QString LookupText(int number, const QString& defaultText) const;

  // Handlers.
  void FormCreate();
  void cti1DblClick();
  void ShowHotkeys1Click();
  void Exit1Click();
  void Timer3Timer();
  void hkm1HotKeyPressed(quint32 hotKey, quint16 id = 0);

  // Operations that the capture, output and shell modules carry out.
  void CaptureScreen(bool areaMode);
  void CaptureActiveWindow();
  // Starts a timed capture when `on`, stops the running one otherwise.
  void SetTimedCapture(bool on);
  void ToggleStorageMode();

  // The after-capture FTP upload; the job does the work, these are its entry points.
  void StartFtpUpload(const QString& fileName);
  void ftp1FtpConnected(ftp::TCustomFtpClient& sender);
  void ftp1FtpStatus(ftp::TCustomFtpClient& sender, ftp::TFtpStatusCode statusCode,
                     const std::string& info);
  void Timer2Timer();

  // The after-capture action on the picture just produced; the actions module decides and acts.
  void DoFinalAction(const QString& fullFileName);

  // Every notice: a balloon (title, text, shell::BalloonIcon kind, seconds), or on an old-shell
  // system a modal message box with `boxCaption` and the text.
  void ShowNotice(const QString& title, const QString& boxCaption, const QString& text,
                  int iconKind, int seconds);

  // The settings of the user's key, and the direct registry path.
  const Registry& registry() const { return registry_; }
  bool optionsDialogOpen() const { return optionsGuard_; }

 signals:
  // Seams for behaviour that later modules attach to (and tests observe).
  void optionsDialogRequested();
  void captureRequested(bool areaMode);
  void activeWindowCaptureRequested();
  void timedCaptureRequested(bool on);
  void storageModeToggleRequested();

 private:
  void seedSettings();
  void registerHotkeys();
  void scheduleOverview();
  void runOptionsDialog();

  Services services_;
  Registry registry_;

 public:
  // Components, in creation order; destroyed with the form.
  TFormStorage fs1;
  QMenu pm1;
  QAction* Options1 = nullptr;
  QAction* ShowHotkeys1 = nullptr;
  QAction* N1 = nullptr;
  QAction* Exit1 = nullptr;
  QTimer Timer1;
  ftp::TFtpClient ftp1;
  QTimer Timer3;

 private:
  std::unique_ptr<platform::HotkeyBackend> ownHotkeys_;

 public:
  shell::THotKeyManager hkm1;
  shell::TTrayIcon cti1;

 private:
  class FtpHost;
  std::unique_ptr<FtpHost> ftpHost_;
  std::unique_ptr<ftp::FtpUploadJob> ftpJob_;

 public:
  // Started by the upload job after each log-on; it sends the pending file.
  QTimer& Timer2;
  // Notices become message boxes: the desktop offers neither notifications nor tray balloons.
  bool oldShellSystem = false;

 private:
  bool optionsGuard_ = false;
  std::unique_ptr<actions::AfterCaptureActions> finalActions_;
};

}  // namespace lumivex
