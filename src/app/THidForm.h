// The hidden main form: creates every long-lived part of the program for the whole run and
// connects them. It never shows a window: it is no widget at all, and the tray icon is the only
// visible sign of the program.
//
// The work lives in the parts it creates: the capture road (capture/PictureCapture), the timed
// run (capture/TimedRun), the notices (shell/Notices), the hotkey overview
// (options/HotkeyOverview), the after-capture actions and the upload job. The form keeps the
// design's handlers and operations as thin entries into them.
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "actions/AfterCaptureActions.h"
#include "app/ErrorReporter.h"
#include "capture/PictureCapture.h"
#include "capture/TimedRun.h"
#include "ftp/FtpClient.h"
#include "ftp/FtpUploadJob.h"
#include "options/HotkeyOverview.h"
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
#include "settings/CaptureCommands.h"
#include "settings/Registry.h"
#include "settings/SettingsReader.h"
#include "settings/Texts.h"
#include "shell/HotKeyManager.h"
#include "shell/Notices.h"
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
    platform::ScreenGrabber& screen;      // the primary monitor and the active window
    platform::SoundPlayer& sound;         // the shutter sound
    platform::PointerControl& pointer;    // kept inside the area-selection overlay
    platform::AutostartEntry& autostart;  // the options dialog's start-up box
    // Starts the mail program and the archiver; null starts nothing.
    platform::Launcher* launcher = nullptr;
    // Whether the options dialog offers the archive actions (7-Zip found); unset: not offered.
    std::function<bool()> archiverPresent = nullptr;
  };

  // Creates the parts and runs FormCreate.
  explicit THidForm(Services services, QObject* parent = nullptr);
  ~THidForm() override;

  // Localised text for a string number (the language file, or the built-in default).
  QString LookupText(int number, const QString& defaultText) const;
  // The same with the default of the text table (settings/TextTable.h).
  QString LookupText(int number) const;

  // The start: the tray menu's texts, the seeding, the hotkeys, the overview.
  void FormCreate();
  // The tray icon's double click and the menu's "Options..." (cti1DblClick): the options
  // dialog, once at a time; the hotkeys and the overview follow the saved values after it.
  void onTrayDoubleClick();
  // "Show hotkeys for capture" (ShowHotkeys1Click).
  void onShowHotkeysClicked();
  // "Exit" (Exit1Click).
  void onExitClicked();
  // A registered combination was pressed (hkm1HotKeyPressed): every command whose hotkey
  // setting holds it runs.
  void onHotkeyPressed(quint32 hotKey);

  // The five commands, for the hotkeys, the command line and the session bus.
  void RunCommand(settings::CaptureKind kind);
  // The design's operations, entries into the parts that do the work.
  void CaptureScreen(bool areaMode);
  void CaptureActiveWindow();
  void SetTimedCapture(bool start);
  void ToggleStorageMode();
  void StartFtpUpload(const QString& fileName);

  bool optionsDialogOpen() const { return optionsGuard_; }
  // Notices become message boxes: the desktop offered neither notifications nor tray balloons
  // when the form was created.
  bool oldShellSystem() const { return notices_->oldShellSystem(); }

  // The parts, for main() and for tests.
  shell::TTrayIcon& trayIcon() { return trayIcon_; }
  shell::THotKeyManager& hotkeys() { return hotkeys_; }
  QMenu& trayMenu() { return trayMenu_; }
  ftp::TCustomFtpClient& ftpClient() { return ftpClient_; }
  options::HotkeyOverview& overview() { return *overview_; }
  capture::TimedRun& timedRun() { return *timedRun_; }
  platform::Timer& ftpStoreDelay() { return ftpJob_->StoreDelay(); }

 signals:
  // Where the commands begin, for tests that follow the hotkeys to the command they run.
  void captureRequested(bool areaMode);
  void activeWindowCaptureRequested();
  void timedCaptureRequested(bool on);
  void storageModeToggleRequested();

 private:
  class FtpHost;

  void createParts();
  void buildTrayMenu();
  void registerHotkeys();
  void runOptionsDialog();
  void showError(const QString& text) const { services_.errors.showError(text); }

  Services services_;
  Registry registry_;
  settings::SettingsReader settings_;
  settings::Texts texts_;

  // Parts, in creation order; destroyed with the form.
  TFormStorage formStorage_;            // fs1: the stored values of the main form
  QMenu trayMenu_;                      // pm1
  QAction* optionsItem_ = nullptr;      // Options1
  QAction* showHotkeysItem_ = nullptr;  // ShowHotkeys1
  QAction* exitItem_ = nullptr;         // Exit1
  ftp::TCustomFtpClient ftpClient_;     // ftp1
  shell::THotKeyManager hotkeys_;       // hkm1
  shell::TTrayIcon trayIcon_;           // cti1
  std::unique_ptr<shell::Notices> notices_;
  std::unique_ptr<options::HotkeyOverview> overview_;  // with Timer3, its delay
  std::unique_ptr<FtpHost> ftpHost_;
  std::unique_ptr<ftp::FtpUploadJob> ftpJob_;  // with Timer2, the store delay
  std::unique_ptr<actions::AfterCaptureActions> finalActions_;
  std::unique_ptr<capture::PictureCapture> capture_;
  std::unique_ptr<capture::TimedRun> timedRun_;  // with Timer1 and Gif1

  bool optionsGuard_ = false;
};

}  // namespace lumivex
