// The hidden main form: owns every long-lived component for the whole run and handles every
// hotkey, timer tick and tray event on the GUI thread. It never shows a window: it is no
// widget at all, and the tray icon is the only visible sign of the program.
//
// Its operations read like the ordered steps they perform; each step belongs to a module.
#pragma once

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "actions/AfterCaptureActions.h"
#include "app/ErrorReporter.h"
#include "codecs/GifImage.h"
#include "ftp/FtpClient.h"
#include "ftp/FtpUploadJob.h"
#include "options/TFormStorage.h"
#include "platform/AutostartEntry.h"
#include "platform/Clock.h"
#include "platform/HotkeyBackend.h"
#include "platform/Launcher.h"
#include "platform/NoticeService.h"
#include "platform/PointerControl.h"
#include "platform/ScreenGrabber.h"
#include "platform/SoundPlayer.h"
#include "platform/UserEnvironment.h"
#include "settings/Registry.h"
#include "shell/HotKeyManager.h"
#include "shell/TrayIcon.h"

namespace lumivex {

class THidForm : public QObject {
  Q_OBJECT

 public:
  // The platform services the form works with, chosen by main() (tests pass fakes). Each
  // must outlive the form.
  struct Services {
    const platform::UserEnvironment& environment;
    ErrorReporter& errors;
    QString languageFile;  // "lang.txt" in the executable's folder
    platform::HotkeyBackend& hotkeys;
    platform::NoticeService& notices;
    platform::Clock& clock;
    platform::ScreenGrabber& screen;    // the primary monitor and the active window
    platform::SoundPlayer& sound;       // the shutter sound
    platform::PointerControl& pointer;  // kept inside the area-selection overlay
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
  // The same with the default of the text table (settings/TextTable.h).
  QString LookupText(int number) const;

  // Handlers.
  void FormCreate();
  void cti1DblClick();
  void ShowHotkeys1Click();
  void Exit1Click();
  void Timer3Timer();
  void hkm1HotKeyPressed(quint32 hotKey, quint16 id = 0);

  // Captures; each composes the name, grabs, plays the shutter sound, stores the picture (the
  // clipboard or a file), then shows the completion notice and runs the after-capture action.
  // Errors leave as exceptions (the caller shows them in the standard error box); a failed
  // grab throws after nothing was stored, and a cancelled area selection ends quietly.
  // The primary monitor; with `areaMode` the user then drags out an area of the frozen picture.
  void CaptureScreen(bool areaMode);
  // The foreground window with its frame. Where the desktop gives no program that picture
  // (Wayland), a warning notice says so and nothing else happens.
  void CaptureActiveWindow();
  // Starts a timed capture when `start`, stops the running one (writing its animated GIF)
  // otherwise. Refused, with a warning notice, while the tray shows clipboard mode.
  void SetTimedCapture(bool start);
  bool timedCaptureRunning() const { return timedCaptureTimer_->isActive(); }
  // One frame of the timed capture (Timer1).
  void Timer1Timer();
  // Switches between file and clipboard output.
  void ToggleStorageMode();

  // The full file name of the next picture, stamped with the clock's local time; `extension`
  // replaces the one of the picture type ("gif" for a timed capture).
  QString ComposePictureName(const std::optional<QString>& extension = std::nullopt) const;
  // The shutter sound, when switched on; returns when it has played.
  void PlayCameraSound();
  // The completion notice naming the picture (or saying it is on the clipboard), when on.
  void NotifyDone(const QString& fullFileName);

  // The after-capture FTP upload; the job does the work, these are its entry points.
  void StartFtpUpload(const QString& fileName);
  void ftp1FtpConnected(ftp::TCustomFtpClient& sender);
  void ftp1FtpStatus(ftp::TCustomFtpClient& sender, ftp::TFtpStatusCode statusCode,
                     const std::string& info);
  void Timer2Timer();

  // The after-capture action on the picture just produced; the actions module decides and acts.
  void DoFinalAction(const QString& fullFileName);

  // Every notice: a balloon (title, text, platform::NoticeIcon kind, seconds), or on an
  // old-shell system a modal message box with `boxCaption` and the text.
  void ShowNotice(const QString& title, const QString& boxCaption, const QString& text,
                  int iconKind, int seconds);

  // The settings of the user's key, and the direct registry path.
  const Registry& registry() const { return registry_; }
  bool optionsDialogOpen() const { return optionsGuard_; }
  // Notices become message boxes: the desktop offered neither notifications nor tray balloons
  // when the form was created.
  bool oldShellSystem() const { return oldShellSystem_; }

  // The components, for the modules wired to the form and for tests.
  shell::TTrayIcon& trayIcon() { return trayIcon_; }
  shell::THotKeyManager& hotkeys() { return hotkeys_; }
  QMenu& trayMenu() { return trayMenu_; }
  ftp::TCustomFtpClient& ftpClient() { return ftpClient_; }
  platform::Timer& timedCaptureTimer() { return *timedCaptureTimer_; }
  platform::Timer& overviewDelay() { return *overviewDelay_; }
  platform::Timer& ftpStoreDelay() { return ftpJob_->StoreDelay(); }

 signals:
  // Seams for behaviour that later modules attach to (and tests observe).
  void optionsDialogRequested();
  void captureRequested(bool areaMode);
  void activeWindowCaptureRequested();
  void timedCaptureRequested(bool on);
  void storageModeToggleRequested();

 private:
  class FtpHost;

  void buildTrayMenu();
  void seedSettings();
  void registerHotkeys();
  void scheduleOverview();
  void runOptionsDialog();
  QString ReadSetting(const QString& name, const QString& fallback) const;
  void checkPictureSettings() const;
  // Stores the picture by the storage mode and type of this moment, then the notice and the
  // action for the file written; a failed write throws, with neither.
  void outputPicture(const QString& fullFileName, QImage picture);

  Services services_;
  Registry registry_;

  // Components, in creation order; destroyed with the form.
  TFormStorage formStorage_;                            // fs1: the stored values of the main form
  QMenu trayMenu_;                                      // pm1
  QAction* optionsItem_ = nullptr;                      // Options1
  QAction* showHotkeysItem_ = nullptr;                  // ShowHotkeys1
  QAction* exitItem_ = nullptr;                         // Exit1
  std::unique_ptr<platform::Timer> timedCaptureTimer_;  // Timer1
  codecs::TGIFImage timedCaptureFrames_;                // Gif1's image: the run's frames
  std::int64_t frameIntervalMs_ = 0;                    // of the running timed capture
  ftp::TCustomFtpClient ftpClient_;                     // ftp1
  std::unique_ptr<platform::Timer> overviewDelay_;      // Timer3
  shell::THotKeyManager hotkeys_;                       // hkm1
  shell::TTrayIcon trayIcon_;                           // cti1
  std::unique_ptr<FtpHost> ftpHost_;
  std::unique_ptr<ftp::FtpUploadJob> ftpJob_;  // owns Timer2, the store delay

  bool oldShellSystem_ = false;
  bool optionsGuard_ = false;
  bool shortcutHintShown_ = false;
  std::unique_ptr<actions::AfterCaptureActions> finalActions_;
};

}  // namespace lumivex
