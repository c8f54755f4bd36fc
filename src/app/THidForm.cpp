#include "app/THidForm.h"

#include <QApplication>
#include <QTimer>

#include "options/HotkeyOverview.h"
#include "options/TOptForm.h"
#include "settings/LanguageFile.h"
#include "settings/SettingsTable.h"
#include "settings/TextTable.h"
#include "shell/HotkeyDispatch.h"
#include "shell/StorageMode.h"

namespace lumivex {

namespace {

Registry makeRegistry(const platform::UserEnvironment& env) {
  return Registry(env.configFolder().toStdString(), env.systemConfigFolder().toStdString());
}

}  // namespace

// What the upload job sees of the program: the settings, the texts and the tray.
class THidForm::FtpHost final : public ftp::FtpJobHost {
 public:
  explicit FtpHost(THidForm& form) : form_(form) {}
  std::string ReadRegistryText(std::string_view valueName) override {
    return form_.registry_.ReadRegistryText(kSettingsKey, valueName);
  }
  std::string LookupText(int number, std::string_view defaultText) override {
    return form_
        .LookupText(number, QString::fromUtf8(defaultText.data(), qsizetype(defaultText.size())))
        .toStdString();
  }
  void ShowNotice(const std::string& title, const std::string& boxCaption, const std::string& text,
                  int iconKind, int seconds) override {
    form_.ShowNotice(QString::fromStdString(title), QString::fromStdString(boxCaption),
                     QString::fromStdString(text), iconKind, seconds);
  }
  void SetTrayHint(const std::string& hint) override {
    form_.trayIcon_.SetHint(QString::fromStdString(hint));
  }
  void ShowError(const std::exception& error) override {
    form_.services_.errors.showError(QString::fromUtf8(error.what()));
  }

 private:
  THidForm& form_;
};

THidForm::THidForm(Services services, QObject* parent)
    : QObject(parent),
      services_(services),
      registry_(makeRegistry(services.environment)),
      formStorage_(registry_.key(kSettingsKey)),
      timedCaptureTimer_(services.clock.createTimer()),
      overviewDelay_(services.clock.createTimer()),
      hotkeys_(services.hotkeys),
      trayIcon_(services.notices),
      ftpHost_(std::make_unique<FtpHost>(*this)),
      ftpJob_(std::make_unique<ftp::FtpUploadJob>(*ftpHost_, ftpClient_, services.clock)) {
  formStorage_.onError = [this](const QString& text) { services_.errors.showError(text); };
  buildTrayMenu();

  timedCaptureTimer_->setInterval(300000);
  overviewDelay_->setInterval(options::kOverviewDelayMs);
  overviewDelay_->setSingleShot(true);
  overviewDelay_->setTimeoutHandler(
      [this] { guarded(services_.errors, [this] { Timer3Timer(); }); });
  ftpClient_.OnException = [this](const std::exception& e) {
    services_.errors.showError(QString::fromUtf8(e.what()));
  };

  connect(&hotkeys_, &shell::THotKeyManager::HotKeyPressed, this,
          [this](quint32 value, quint16 id) {
            guarded(services_.errors, [&] { hkm1HotKeyPressed(value, id); });
          });
  trayIcon_.SetIconList(shell::TTrayIcon::StoragePictures());
  trayIcon_.SetIconIndex(0);
  trayIcon_.SetHint(QStringLiteral("Lumivex"));
  trayIcon_.SetPopupMenu(&trayMenu_);
  connect(&trayIcon_, &shell::TTrayIcon::OnDblClick, this,
          [this] { guarded(services_.errors, [this] { cti1DblClick(); }); });
  oldShellSystem_ = services_.notices.isOldShell();
  // The icon comes up as the message loop starts.
  QTimer::singleShot(0, this, [this] { trayIcon_.HideToTray(); });

  static platform::NullLauncher noLauncher;
  finalActions_ = std::make_unique<actions::AfterCaptureActions>(actions::ActionServices{
      registry_, services_.launcher ? *services_.launcher : noLauncher,
      [this](int number, const QString& text) { return LookupText(number, text); },
      [this](const QString& fileName) { StartFtpUpload(fileName); },
      [this](const QString& text) { services_.errors.showError(text); }});

  // An error in the creation handler skips its remaining steps, not the start.
  guarded(services_.errors, [this] { FormCreate(); });
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
  connect(optionsItem_, &QAction::triggered, this, handle(&THidForm::cti1DblClick));
  connect(showHotkeysItem_, &QAction::triggered, this, handle(&THidForm::ShowHotkeys1Click));
  connect(exitItem_, &QAction::triggered, this, handle(&THidForm::Exit1Click));
}

THidForm::~THidForm() = default;

QString THidForm::LookupText(int number) const {
  const std::string_view text = settings::defaultText(number);
  return LookupText(number, QString::fromUtf8(text.data(), qsizetype(text.size())));
}

QString THidForm::LookupText(int number, const QString& defaultText) const {
  return QString::fromStdString(
      lookupLanguageText(services_.languageFile.toStdString(), number, defaultText.toStdString()));
}

void THidForm::FormCreate() {
  optionsItem_->setText(LookupText(310));
  showHotkeysItem_->setText(LookupText(320));
  exitItem_->setText(LookupText(330));
  seedSettings();
  formStorage_.Active = true;
  formStorage_.RestoreFormValues();
  registerHotkeys();
  scheduleOverview();
}

void THidForm::seedSettings() {
  for (const auto& row : settings::kSeedTable) {
    if (!registry_.ReadRegistryText(kSettingsKey, row.name).empty()) continue;
    std::string seed = row.seed ? row.seed : services_.environment.desktopFolder().toStdString();
    registry_.WriteRegistryText(kSettingsKey, row.name, seed);
  }
}

void THidForm::registerHotkeys() {
  hotkeys_.ClearHotKeys();
  for (std::size_t i = 0; i < settings::kHotkeys.size(); ++i)
    hotkeys_.AddHotKey(quint32(formStorage_.ReadSettingInt(QLatin1String(settings::kHotkeys[i]),
                                                           settings::kHotkeyDefaults[i])));
}

// Like enabling a window timer: a request while one is pending changes nothing.
void THidForm::scheduleOverview() {
  if (!overviewDelay_->isActive()) overviewDelay_->start();
}

void THidForm::ShowNotice(const QString& title, const QString& boxCaption, const QString& text,
                          int iconKind, int seconds) {
  if (oldShellSystem_)
    services_.notices.showMessageBox(boxCaption, text, iconKind);
  else
    trayIcon_.ShowBalloonNotice(title, text, iconKind, quint8(seconds));
}

void THidForm::cti1DblClick() {
  if (optionsGuard_) return;
  optionsGuard_ = true;
  struct ClearGuard {
    bool& guard;
    ~ClearGuard() { guard = false; }
  } clear{optionsGuard_};
  emit optionsDialogRequested();
  if (services_.autostart) runOptionsDialog();
  formStorage_.Active = true;
  formStorage_.RestoreFormValues();
  registerHotkeys();
  scheduleOverview();
}

void THidForm::runOptionsDialog() {
  options::TOptForm dialog(
      {registry_.key(kSettingsKey), [this](int n, const QString& d) { return LookupText(n, d); },
       [this](quint32 value) { return hotkeys_.HotKeyToText(value, true); },
       services_.environment.desktopFolder(), services_.archiverPresent, *services_.autostart,
       [this](const QString& text) { services_.errors.showError(text); }});
  // Our own grabs would swallow the combinations typed into the hotkey fields; they are
  // registered again, from the saved values, once the dialog has closed.
  hotkeys_.ClearHotKeys();
  dialog.exec();
}

void THidForm::ShowHotkeys1Click() { scheduleOverview(); }

void THidForm::Exit1Click() { QApplication::quit(); }

void THidForm::Timer3Timer() {
  overviewDelay_->stop();
  const options::OverviewSources sources{
      [this](int n, const QString& d) { return LookupText(n, d); },
      [this](const QString& name, int fallback) {
        return formStorage_.ReadSettingInt(name, fallback);
      },
      [this](const QString& name, const QString& fallback) {
        return formStorage_.ReadSetting(name, fallback);
      },
      [this](quint32 value) { return hotkeys_.HotKeyToText(value, true); }};
  const QString list = options::BuildHotkeyOverview(sources);
  trayIcon_.SetIconIndex(options::OverviewClipboardMode(sources) ? 1 : 0);
  ShowNotice(
      LookupText(options::kOverviewTitleNumber, QLatin1String(options::kOverviewBalloonTitle)),
      LookupText(options::kOverviewTitleNumber, QLatin1String(options::kOverviewBoxTitle)), list,
      platform::kNoticeInfo, options::kOverviewSeconds);
}

void THidForm::hkm1HotKeyPressed(quint32 hotKey, quint16 id) {
  Q_UNUSED(id);
  shell::DispatchHotKey(hotKey,
                        [this](const QString& name, int fallback) {
                          return formStorage_.ReadSettingInt(name, fallback);
                        },
                        {[this] { CaptureScreen(false); }, [this] { CaptureScreen(true); },
                         [this] { CaptureActiveWindow(); },
                         [this] { SetTimedCapture(!timedCaptureTimer_->isActive()); },
                         [this] { ToggleStorageMode(); }});
}

void THidForm::StartFtpUpload(const QString& fileName) {
  ftpJob_->StartFtpUpload(fileName.toStdString());
}

void THidForm::ftp1FtpConnected(ftp::TCustomFtpClient& sender) {
  ftpJob_->ftp1FtpConnected(sender);
}

void THidForm::ftp1FtpStatus(ftp::TCustomFtpClient& sender, ftp::TFtpStatusCode statusCode,
                             const std::string& info) {
  ftpJob_->ftp1FtpStatus(sender, statusCode, info);
}

void THidForm::Timer2Timer() { ftpJob_->Timer2Timer(); }

void THidForm::DoFinalAction(const QString& fullFileName) {
  finalActions_->DoFinalAction(fullFileName);
}

void THidForm::CaptureScreen(bool areaMode) { emit captureRequested(areaMode); }

void THidForm::CaptureActiveWindow() { emit activeWindowCaptureRequested(); }

void THidForm::SetTimedCapture(bool on) { emit timedCaptureRequested(on); }

void THidForm::ToggleStorageMode() {
  const shell::StorageMode mode = shell::ToggledStorageMode(
      formStorage_.ReadSetting(QLatin1String(settings::kClipboardMode), QStringLiteral("False")));
  trayIcon_.SetIconIndex(mode.iconIndex());
  shell::WriteStorageMode(mode, [this](const QString& name, const QString& value) {
    formStorage_.WriteSetting(name, value);
  });
  const QString message = LookupText(mode.messageNumber(), mode.messageDefault());
  ShowNotice(
      LookupText(shell::kStorageModeTitleNumber, QLatin1String(shell::kStorageModeTitleDefault)),
      QStringLiteral("Lumivex"), message, platform::kNoticeInfo, 15);
  emit storageModeToggleRequested();
}

}  // namespace lumivex
