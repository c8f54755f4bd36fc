#include "app/THidForm.h"

#include <QApplication>
#include <QClipboard>
#include <QTimer>

#include <exception>

#include "base/Error.h"
#include "base/Text.h"
#include "capture/TAreaForm.h"
#include "capture/TimedCapture.h"
#include "options/HotkeyOverview.h"
#include "options/TOptForm.h"
#include "output/Feedback.h"
#include "output/PictureName.h"
#include "output/PictureOutput.h"
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

// A grab that yields no picture (no display, the portal refused, no active window) ends the
// capture with one of these: nothing is stored, so no sound, notice or action says otherwise.
const char* const kScreenGrabFailed = "The screen could not be captured.";
const char* const kWindowGrabFailed = "The active window could not be captured.";

const QString kBoxCaption = QStringLiteral("Lumivex");
constexpr int kDoneSeconds = 60;
constexpr int kRefusalSeconds = 15;
constexpr int kStorageModeSeconds = 15;

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
  timedCaptureTimer_->setTimeoutHandler(
      [this] { guarded(services_.errors, [this] { Timer1Timer(); }); });
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
    hotkeys_.AddHotKey(quint32(
        settings::hotKeyValue(i, formStorage_.ReadSettingInt(QLatin1String(settings::kHotkeys[i]),
                                                             settings::kHotkeyDefaults[i]))));
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
      [this](int number) { return LookupText(number); },
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
  // Without global shortcuts the listed combinations do nothing: say once per run how to
  // reach the captures instead.
  if (!services_.hotkeys.isAvailable() && !shortcutHintShown_) {
    shortcutHintShown_ = true;
    ShowNotice(
        LookupText(options::kOverviewTitleNumber, QLatin1String(options::kOverviewBalloonTitle)),
        kBoxCaption, LookupText(910), platform::kNoticeInfo, options::kOverviewSeconds);
  }
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

QString THidForm::ReadSetting(const QString& name, const QString& fallback) const {
  return formStorage_.ReadSetting(name, fallback);
}

QString THidForm::ComposePictureName(const std::optional<QString>& extension) const {
  return output::ComposePictureName(
      {[this](const QString& name, const QString& fallback) { return ReadSetting(name, fallback); },
       services_.environment, services_.clock.currentLocalTime()},
      extension);
}

void THidForm::PlayCameraSound() { output::PlayCameraSound(registry_, services_.sound); }

void THidForm::NotifyDone(const QString& fullFileName) {
  if (!isTrueText(registry_.ReadRegistryText(kSettingsKey, settings::kBalloonOn))) return;
  const bool toClipboard = output::ClipboardMode(
      [this](const QString& name, const QString& fallback) { return ReadSetting(name, fallback); });
  const QString text = toClipboard ? LookupText(750) : LookupText(150) + ' ' + fullFileName;
  ShowNotice(LookupText(145), kBoxCaption, text, platform::kNoticeInfo, kDoneSeconds);
}

// Settings a write would fail on stop the capture here, before the grab and the shutter sound.
void THidForm::checkPictureSettings() const {
  output::CheckPictureSettings(
      [this](const QString& name, const QString& fallback) { return ReadSetting(name, fallback); },
      registry_);
}

void THidForm::outputPicture(const QString& fullFileName, QImage picture) {
  const output::ReadSetting readSetting = [this](const QString& name, const QString& fallback) {
    return ReadSetting(name, fallback);
  };
  if (output::ClipboardMode(readSetting)) {
    output::PutPictureOnClipboard(*QGuiApplication::clipboard(), picture);
    picture = QImage();  // released: the clipboard holds its own copy
    NotifyDone(fullFileName);
    DoFinalAction(fullFileName);
    return;
  }
  // A failed write shows its error alone: no notice names a file that is not there, and no
  // action uploads or mails it. The notice and the action name the file as it was written (the
  // next free name when another entry took the composed one meanwhile).
  const QString saved =
      output::SavePicture(fullFileName, picture, output::ReadPictureType(readSetting), registry_);
  picture = QImage();
  NotifyDone(saved);
  DoFinalAction(saved);
}

void THidForm::CaptureScreen(bool areaMode) {
  emit captureRequested(areaMode);
  // Named first: the stamp is the moment of the request, however long the selection takes.
  const QString name = ComposePictureName();
  checkPictureSettings();
  QImage picture = services_.screen.grabPrimaryScreen();
  if (picture.isNull()) throw Error(kScreenGrabFailed);
  if (areaMode) {
    std::optional<QImage> area = capture::TAreaForm::SelectArea(
        picture, services_.screen.primaryScreenRect(), services_.pointer);
    // Cancelled, or a frame without interior: the capture ends without a trace.
    if (!area) return;
    picture = std::move(*area);
  }
  PlayCameraSound();
  outputPicture(name, std::move(picture));
}

void THidForm::CaptureActiveWindow() {
  emit activeWindowCaptureRequested();
  if (!services_.screen.canGrabActiveWindow()) {
    ShowNotice(LookupText(290), kBoxCaption, LookupText(900), platform::kNoticeWarning,
               kRefusalSeconds);
    return;
  }
  const QString name = ComposePictureName();
  checkPictureSettings();
  QImage picture = services_.screen.grabActiveWindow();
  if (picture.isNull()) throw Error(kWindowGrabFailed);
  PlayCameraSound();
  outputPicture(name, std::move(picture));
}

void THidForm::SetTimedCapture(bool start) {
  emit timedCaptureRequested(start);
  // While the tray shows clipboard mode a run can be neither started nor stopped.
  if (trayIcon_.IconIndex() == 1) {
    ShowNotice(LookupText(820), kBoxCaption, LookupText(760), platform::kNoticeWarning,
               kRefusalSeconds);
    return;
  }
  const QString name = ComposePictureName(QStringLiteral("gif"));
  // A count that is no integer throws here, before the timer changes.
  const std::int64_t interval = capture::FrameInterval(
      ReadSetting(QLatin1String(settings::kInterval), QStringLiteral("5")),
      ReadSetting(QLatin1String(settings::kIntervalUnit), QStringLiteral("0")));
  frameIntervalMs_ = interval;
  timedCaptureTimer_->setInterval(capture::TimerInterval(interval));
  timedCaptureFrames_.SetLooping(true);
  if (start) {
    timedCaptureFrames_.Clear();  // also clears the looping flag; the stop sets it again
    timedCaptureTimer_->start();  // the first frame comes one interval later
    return;
  }
  timedCaptureTimer_->stop();
  // No frames yet: "No GIF Data to write", and no notice.
  const QString saved = output::SaveAnimation(name, timedCaptureFrames_);
  NotifyDone(saved);  // a timed capture runs no after-capture action
}

void THidForm::Timer1Timer() {
  if (frameIntervalMs_ <= 0) return;  // a count of zero or less takes no frames
  const bool minutes = capture::MinutesUnit(
      ReadSetting(QLatin1String(settings::kIntervalUnit), QStringLiteral("0")));
  const QImage frame = services_.screen.grabPrimaryScreen();
  // The desktop gave no picture this time (a portal refusal): this tick adds no frame and
  // makes no sound; the run goes on, and the next tick tries again.
  if (frame.isNull()) return;
  PlayCameraSound();
  const output::WriterPicture picture(frame, output::PictureType::Png);
  const std::size_t index = timedCaptureFrames_.AddFrame(picture.view());
  timedCaptureFrames_.Frame(index).SetDisplayTime(
      capture::FrameDisplayTime(frameIntervalMs_, minutes));
}

void THidForm::ToggleStorageMode() {
  const shell::StorageMode mode = shell::ToggledStorageMode(
      formStorage_.ReadSetting(QLatin1String(settings::kClipboardMode), QStringLiteral("False")));
  trayIcon_.SetIconIndex(mode.iconIndex());
  shell::WriteStorageMode(mode, [this](const QString& name, const QString& value) {
    formStorage_.WriteSetting(name, value);
  });
  const QString message = LookupText(mode.messageNumber());
  ShowNotice(LookupText(shell::kStorageModeTitleNumber), kBoxCaption, message,
             platform::kNoticeInfo, kStorageModeSeconds);
  emit storageModeToggleRequested();
}

}  // namespace lumivex
