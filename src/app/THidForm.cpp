#include "app/THidForm.h"

#include <QApplication>

#include "options/HotkeyOverview.h"
#include "options/TOptForm.h"
#include "platform/FakeHotkeyBackend.h"
#include "platform/x11/X11HotkeyBackend.h"
#include "settings/LanguageFile.h"
#include "settings/SettingsTable.h"
#include "shell/HotkeyDispatch.h"
#include "shell/NoticeBox.h"
#include "shell/StorageMode.h"

namespace lumivex {

namespace {

Registry makeRegistry(const platform::UserEnvironment& env) {
  return Registry(env.configFolder().toStdString(), env.systemConfigFolder().toStdString());
}

// Off X11 (tests on the offscreen platform) hotkeys are accepted and never pressed.
std::unique_ptr<platform::HotkeyBackend> chooseHotkeys(platform::HotkeyBackend* given) {
  if (given) return nullptr;
  if (auto x11 = platform::createX11HotkeyBackend()) return x11;
  return std::make_unique<platform::FakeHotkeyBackend>();
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
  bool ShowBalloonNotice(const std::string& title, const std::string& text, int iconKind,
                         int seconds) override {
    return form_.cti1.ShowBalloonNotice(QString::fromStdString(title), QString::fromStdString(text),
                                        iconKind, quint8(seconds));
  }
  void SetTrayHint(const std::string& hint) override {
    form_.cti1.SetHint(QString::fromStdString(hint));
  }
  bool OldShellSystem() override { return form_.oldShellSystem; }
  void ShowMessageBox(const std::string& text) override {
    shell::ShowNoticeBox(QStringLiteral("Lumivex"), QString::fromStdString(text),
                         shell::kBalloonInfo);
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
      fs1(registry_.key(kSettingsKey)),
      ownHotkeys_(chooseHotkeys(services.hotkeys)),
      hkm1(services.hotkeys ? *services.hotkeys : *ownHotkeys_),
      ftpHost_(std::make_unique<FtpHost>(*this)),
      ftpJob_(std::make_unique<ftp::FtpUploadJob>(*ftpHost_, ftp1)),
      Timer2(ftpJob_->Timer2()) {
  fs1.onError = [this](const QString& text) { services_.errors.showError(text); };

  Options1 = pm1.addAction(QStringLiteral("Options..."));
  ShowHotkeys1 = pm1.addAction(QStringLiteral("Show hotkeys for capture"));
  N1 = pm1.addSeparator();
  Exit1 = pm1.addAction(QStringLiteral("Exit"));
  pm1.setDefaultAction(Options1);
  auto handle = [this](auto handler) {
    return [this, handler] { guarded(services_.errors, [&] { (this->*handler)(); }); };
  };
  connect(Options1, &QAction::triggered, this, handle(&THidForm::cti1DblClick));
  connect(ShowHotkeys1, &QAction::triggered, this, handle(&THidForm::ShowHotkeys1Click));
  connect(Exit1, &QAction::triggered, this, handle(&THidForm::Exit1Click));

  Timer1.setInterval(300000);
  Timer3.setInterval(options::kOverviewDelayMs);
  Timer3.setSingleShot(true);
  connect(&Timer3, &QTimer::timeout, this, handle(&THidForm::Timer3Timer));
  ftp1.OnException = [this](const std::exception& e) {
    services_.errors.showError(QString::fromUtf8(e.what()));
  };

  connect(&hkm1, &shell::THotKeyManager::HotKeyPressed, this, [this](quint32 value, quint16 id) {
    guarded(services_.errors, [&] { hkm1HotKeyPressed(value, id); });
  });
  cti1.SetIconList(shell::TTrayIcon::StoragePictures());
  cti1.SetIconIndex(0);
  cti1.SetHint(QStringLiteral("Lumivex"));
  cti1.SetPopupMenu(&pm1);
  connect(&cti1, &shell::TTrayIcon::OnDblClick, this, handle(&THidForm::cti1DblClick));
  oldShellSystem = shell::TTrayIcon::IsOldShellDesktop();
  // The icon comes up as the message loop starts.
  QTimer::singleShot(0, this, [this] { cti1.HideToTray(); });

  static platform::NullLauncher noLauncher;
  finalActions_ = std::make_unique<actions::AfterCaptureActions>(actions::ActionServices{
      registry_, services_.launcher ? *services_.launcher : noLauncher,
      [this](int number, const QString& text) { return LookupText(number, text); },
      [this](const QString& fileName) { StartFtpUpload(fileName); },
      [this](const QString& text) { services_.errors.showError(text); }});

  // An error in the creation handler skips its remaining steps, not the start.
  guarded(services_.errors, [this] { FormCreate(); });
}

THidForm::~THidForm() = default;

QString THidForm::LookupText(int number, const QString& defaultText) const {
  return QString::fromStdString(
      lookupLanguageText(services_.languageFile.toStdString(), number, defaultText.toStdString()));
}

void THidForm::FormCreate() {
  Options1->setText(LookupText(310, QStringLiteral("Options...")));
  ShowHotkeys1->setText(LookupText(320, QStringLiteral("Show hotkeys for capture")));
  Exit1->setText(LookupText(330, QStringLiteral("Exit")));
  seedSettings();
  fs1.Active = true;
  fs1.RestoreFormValues();
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
  hkm1.ClearHotKeys();
  for (std::size_t i = 0; i < settings::kHotkeys.size(); ++i)
    hkm1.AddHotKey(quint32(
        fs1.ReadSettingInt(QLatin1String(settings::kHotkeys[i]), settings::kHotkeyDefaults[i])));
}

// Like enabling a window timer: a request while one is pending changes nothing.
void THidForm::scheduleOverview() {
  if (!Timer3.isActive()) Timer3.start();
}

void THidForm::ShowNotice(const QString& title, const QString& boxCaption, const QString& text,
                          int iconKind, int seconds) {
  if (oldShellSystem)
    shell::ShowNoticeBox(boxCaption, text, iconKind);
  else
    cti1.ShowBalloonNotice(title, text, iconKind, quint8(seconds));
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
  fs1.Active = true;
  fs1.RestoreFormValues();
  registerHotkeys();
  scheduleOverview();
}

void THidForm::runOptionsDialog() {
  options::TOptForm dialog(
      {registry_.key(kSettingsKey), [this](int n, const QString& d) { return LookupText(n, d); },
       [this](quint32 value) { return hkm1.HotKeyToText(value, true); },
       services_.environment.desktopFolder(), services_.archiverPresent, *services_.autostart,
       [this](const QString& text) { services_.errors.showError(text); }});
  // Our own grabs would swallow the combinations typed into the hotkey fields; they are
  // registered again, from the saved values, once the dialog has closed.
  hkm1.ClearHotKeys();
  dialog.exec();
}

void THidForm::ShowHotkeys1Click() { scheduleOverview(); }

void THidForm::Exit1Click() { QApplication::quit(); }

void THidForm::Timer3Timer() {
  Timer3.stop();
  const options::OverviewSources sources{
      [this](int n, const QString& d) { return LookupText(n, d); },
      [this](const QString& name, int fallback) { return fs1.ReadSettingInt(name, fallback); },
      [this](const QString& name, const QString& fallback) {
        return fs1.ReadSetting(name, fallback);
      },
      [this](quint32 value) { return hkm1.HotKeyToText(value, true); }};
  const QString list = options::BuildHotkeyOverview(sources);
  cti1.SetIconIndex(options::OverviewClipboardMode(sources) ? 1 : 0);
  ShowNotice(
      LookupText(options::kOverviewTitleNumber, QLatin1String(options::kOverviewBalloonTitle)),
      LookupText(options::kOverviewTitleNumber, QLatin1String(options::kOverviewBoxTitle)), list,
      shell::kBalloonInfo, options::kOverviewSeconds);
}

void THidForm::hkm1HotKeyPressed(quint32 hotKey, quint16 id) {
  Q_UNUSED(id);
  shell::DispatchHotKey(
      hotKey,
      [this](const QString& name, int fallback) { return fs1.ReadSettingInt(name, fallback); },
      {[this] { CaptureScreen(false); }, [this] { CaptureScreen(true); },
       [this] { CaptureActiveWindow(); }, [this] { SetTimedCapture(!Timer1.isActive()); },
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
      fs1.ReadSetting(QLatin1String(settings::kClipboardMode), QStringLiteral("False")));
  cti1.SetIconIndex(mode.iconIndex());
  shell::WriteStorageMode(
      mode, [this](const QString& name, const QString& value) { fs1.WriteSetting(name, value); });
  const QString message = LookupText(mode.messageNumber(), mode.messageDefault());
  ShowNotice(
      LookupText(shell::kStorageModeTitleNumber, QLatin1String(shell::kStorageModeTitleDefault)),
      QStringLiteral("Lumivex"), message, shell::kBalloonInfo, 15);
  emit storageModeToggleRequested();
}

}  // namespace lumivex
