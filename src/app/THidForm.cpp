#include "app/THidForm.h"

#include <QApplication>
#include <QTimer>

#include <exception>

#include "options/TOptForm.h"
#include "settings/Seeding.h"
#include "settings/TextTable.h"
#include "shell/HotkeyDispatch.h"
#include "shell/StorageModeSwitch.h"

namespace lumivex {

namespace {

Registry makeRegistry(const platform::UserEnvironment& env) {
  return Registry(env.configFolder().toStdString(), env.systemConfigFolder().toStdString());
}

}  // namespace

// Where the upload job's progress goes: the notices, the tray's hint and the error box.
class THidForm::FtpHost final : public ftp::FtpJobHost {
 public:
  FtpHost(shell::Notices& notices, shell::TTrayIcon& trayIcon, ErrorReporter& errors)
      : notices_(notices), trayIcon_(trayIcon), errors_(errors) {}
  void ShowNotice(const std::string& title, const std::string& boxCaption, const std::string& text,
                  int iconKind, int seconds) override {
    notices_.ShowNotice(QString::fromStdString(title), QString::fromStdString(boxCaption),
                        QString::fromStdString(text), iconKind, seconds);
  }
  void SetTrayHint(const std::string& hint) override {
    trayIcon_.SetHint(QString::fromStdString(hint));
  }
  void ShowError(const std::exception& error) override {
    errors_.showError(QString::fromUtf8(error.what()));
  }

 private:
  shell::Notices& notices_;
  shell::TTrayIcon& trayIcon_;
  ErrorReporter& errors_;
};

THidForm::THidForm(Services services, QObject* parent)
    : QObject(parent),
      services_(services),
      registry_(makeRegistry(services.environment)),
      settings_(registry_.key(kSettingsKey)),
      texts_(services.languageFile.toStdString()),
      formStorage_(registry_.key(kSettingsKey)),
      hotkeys_(services.hotkeys),
      trayIcon_(services.notices) {
  formStorage_.onError = [this](const QString& text) { showError(text); };
  buildTrayMenu();
  ftpClient_.OnException = [this](const std::exception& e) {
    showError(QString::fromUtf8(e.what()));
  };
  connect(&hotkeys_, &shell::THotKeyManager::HotKeyPressed, this, [this](quint32 value, quint16) {
    guarded(services_.errors, [&] { onHotkeyPressed(value); });
  });
  trayIcon_.SetIconList(shell::TTrayIcon::StoragePictures());
  trayIcon_.SetIconIndex(0);
  trayIcon_.SetHint(QStringLiteral("Lumivex"));
  trayIcon_.SetPopupMenu(&trayMenu_);
  connect(&trayIcon_, &shell::TTrayIcon::OnDblClick, this,
          [this] { guarded(services_.errors, [this] { onTrayDoubleClick(); }); });
  createParts();
  // The icon comes up as the message loop starts.
  QTimer::singleShot(0, this, [this] { trayIcon_.HideToTray(); });

  // An error in the creation handler skips its remaining steps, not the start.
  guarded(services_.errors, [this] { FormCreate(); });
}

void THidForm::createParts() {
  notices_ = std::make_unique<shell::Notices>(services_.notices, trayIcon_, texts_, settings_);
  overview_ = std::make_unique<options::HotkeyOverview>(options::HotkeyOverview::Services{
      settings_, texts_, hotkeys_, services_.hotkeys, trayIcon_, *notices_, services_.clock});
  overview_->delay().setTimeoutHandler(
      [this] { guarded(services_.errors, [this] { overview_->Show(); }); });

  ftpHost_ = std::make_unique<FtpHost>(*notices_, trayIcon_, services_.errors);
  ftpJob_ = std::make_unique<ftp::FtpUploadJob>(settings_, texts_, *ftpHost_, ftpClient_,
                                                services_.clock);
  static platform::NullLauncher noLauncher;
  finalActions_ = std::make_unique<actions::AfterCaptureActions>(actions::ActionServices{
      settings_, services_.launcher ? *services_.launcher : noLauncher, texts_,
      [&job = *ftpJob_](const QString& fileName) { job.StartFtpUpload(fileName.toStdString()); },
      [this](const QString& text) { showError(text); }});

  capture_ = std::make_unique<capture::PictureCapture>(capture::PictureCapture::Services{
      settings_, services_.environment, services_.clock, services_.screen, services_.pointer,
      services_.sound, *notices_, *finalActions_});
  timedRun_ = std::make_unique<capture::TimedRun>(
      capture::TimedRun::Services{settings_, services_.environment, services_.clock,
                                  services_.screen, services_.sound, *notices_});
  timedRun_->timer().setTimeoutHandler(
      [this] { guarded(services_.errors, [this] { timedRun_->TakeFrame(); }); });
}

void THidForm::buildTrayMenu() {
  optionsItem_ = trayMenu_.addAction(QStringLiteral("Options..."));
  showHotkeysItem_ = trayMenu_.addAction(QStringLiteral("Show hotkeys for capture"));
  trayMenu_.addSeparator();  // N1
  exitItem_ = trayMenu_.addAction(QStringLiteral("Exit"));
  trayMenu_.setDefaultAction(optionsItem_);
  auto handle = [this](auto handler) {
    return [this, handler] { guarded(services_.errors, [&] { (this->*handler)(); }); };
  };
  connect(optionsItem_, &QAction::triggered, this, handle(&THidForm::onTrayDoubleClick));
  connect(showHotkeysItem_, &QAction::triggered, this, handle(&THidForm::onShowHotkeysClicked));
  connect(exitItem_, &QAction::triggered, this, handle(&THidForm::onExitClicked));
}

THidForm::~THidForm() = default;

QString THidForm::LookupText(int number) const {
  return QString::fromStdString(texts_.LookupText(number));
}

QString THidForm::LookupText(int number, const QString& defaultText) const {
  return QString::fromStdString(texts_.LookupText(number, defaultText.toStdString()));
}

void THidForm::FormCreate() {
  optionsItem_->setText(LookupText(settings::text::kOptionsItem));
  showHotkeysItem_->setText(LookupText(settings::text::kShowHotkeysItem));
  exitItem_->setText(LookupText(settings::text::kExitItem));
  settings::SeedSettings(settings_.key(),
                         [this] { return services_.environment.desktopFolder().toStdString(); });
  formStorage_.Active = true;
  formStorage_.RestoreFormValues();
  registerHotkeys();
  overview_->Schedule();
}

void THidForm::registerHotkeys() {
  hotkeys_.ClearHotKeys();
  // A desktop that binds the keys itself files them by capture, not by combination, and shows
  // the user what each does.
  QList<platform::HotkeyPurpose> purposes;
  for (std::size_t i = 0; i < settings::kCaptureCommands.size(); ++i) {
    platform::HotkeyPurpose purpose;
    shell::THotKeyManager::SeparateHotKey(quint32(settings_.hotkey(i)), purpose.virtualKey,
                                          purpose.modifiers);
    purpose.name = QLatin1String(settings::kCaptureCommands[i].word);
    purpose.description = notices_->text(settings::kCaptureCommands[i].labelText);
    purposes.append(purpose);
  }
  services_.hotkeys.describeHotKeys(purposes);
  for (std::size_t i = 0; i < settings::kCaptureCommands.size(); ++i)
    hotkeys_.AddHotKey(quint32(settings_.hotkey(i)));
}

void THidForm::onTrayDoubleClick() {
  if (optionsGuard_) return;
  optionsGuard_ = true;
  struct ClearGuard {
    bool& guard;
    ~ClearGuard() { guard = false; }
  } clear{optionsGuard_};
  runOptionsDialog();
  formStorage_.Active = true;
  formStorage_.RestoreFormValues();
  registerHotkeys();
  overview_->Schedule();
}

void THidForm::runOptionsDialog() {
  options::TOptForm dialog({registry_.key(kSettingsKey),
                            [this](int n, const QString& d) { return LookupText(n, d); },
                            [this](quint32 value) { return hotkeys_.HotKeyToText(value, true); },
                            services_.environment.desktopFolder(), services_.archiverPresent,
                            services_.autostart, [this](const QString& text) { showError(text); }});
  // Our own grabs would swallow the combinations typed into the hotkey fields; they are
  // registered again, from the saved values, once the dialog has closed.
  hotkeys_.ClearHotKeys();
  dialog.exec();
}

void THidForm::onShowHotkeysClicked() { overview_->Schedule(); }

void THidForm::onExitClicked() { QApplication::quit(); }

void THidForm::onHotkeyPressed(quint32 hotKey) {
  shell::DispatchHotKey(hotKey, settings_,
                        [this](settings::CaptureKind kind) { RunCommand(kind); });
}

void THidForm::RunCommand(settings::CaptureKind kind) {
  switch (kind) {
    case settings::CaptureKind::Screen:
      return CaptureScreen(false);
    case settings::CaptureKind::Area:
      return CaptureScreen(true);
    case settings::CaptureKind::Window:
      return CaptureActiveWindow();
    case settings::CaptureKind::Timed:
      return SetTimedCapture(!timedRun_->running());
    case settings::CaptureKind::ToggleMode:
      return ToggleStorageMode();
  }
}

void THidForm::CaptureScreen(bool areaMode) {
  emit captureRequested(areaMode);
  capture_->CaptureScreen(areaMode);
}

void THidForm::CaptureActiveWindow() {
  emit activeWindowCaptureRequested();
  capture_->CaptureActiveWindow();
}

void THidForm::SetTimedCapture(bool start) {
  emit timedCaptureRequested(start);
  timedRun_->SetTimedCapture(start);
}

void THidForm::ToggleStorageMode() {
  shell::SwitchStorageMode(settings_, trayIcon_, *notices_);
  emit storageModeToggleRequested();
}

void THidForm::StartFtpUpload(const QString& fileName) {
  ftpJob_->StartFtpUpload(fileName.toStdString());
}

}  // namespace lumivex
