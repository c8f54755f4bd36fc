#include "app/THidForm.h"

#include <QApplication>

#include "settings/LanguageFile.h"
#include "settings/SettingsTable.h"

namespace lumivex {

namespace {

Registry makeRegistry(const platform::UserEnvironment& env) {
  return Registry(env.configFolder().toStdString(), env.systemConfigFolder().toStdString());
}

}  // namespace

THidForm::THidForm(Services services, QObject* parent)
    : QObject(parent),
      services_(services),
      registry_(makeRegistry(services.environment)),
      fs1(registry_.key(kSettingsKey)) {
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
  Timer2.setInterval(500);
  Timer3.setInterval(500);
  Timer3.setSingleShot(true);
  connect(&Timer3, &QTimer::timeout, this, handle(&THidForm::Timer3Timer));

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
  Timer3.start();
}

void THidForm::seedSettings() {
  for (const auto& row : settings::kSeedTable) {
    if (!registry_.ReadRegistryText(kSettingsKey, row.name).empty()) continue;
    std::string seed = row.seed ? row.seed : services_.environment.desktopFolder().toStdString();
    registry_.WriteRegistryText(kSettingsKey, row.name, seed);
  }
}

void THidForm::registerHotkeys() {
  for (std::size_t i = 0; i < settings::kHotkeys.size(); ++i)
    fs1.ReadSettingInt(QLatin1String(settings::kHotkeys[i]), settings::kHotkeyDefaults[i]);
}

void THidForm::cti1DblClick() {
  if (optionsGuard_) return;
  optionsGuard_ = true;
  struct ClearGuard {
    bool& guard;
    ~ClearGuard() { guard = false; }
  } clear{optionsGuard_};
  emit optionsDialogRequested();
  fs1.Active = true;
  fs1.RestoreFormValues();
  registerHotkeys();
  Timer3.start();
}

void THidForm::ShowHotkeys1Click() { Timer3.start(); }

void THidForm::Exit1Click() { QApplication::quit(); }

void THidForm::Timer3Timer() { emit hotkeyOverviewDue(); }

void THidForm::hkm1HotKeyPressed(int hotKey) { Q_UNUSED(hotKey); }

void THidForm::CaptureScreen(bool areaMode) { emit captureRequested(areaMode); }

void THidForm::CaptureActiveWindow() { emit activeWindowCaptureRequested(); }

void THidForm::SetTimedCapture() { emit timedCaptureToggled(); }

void THidForm::ToggleStorageMode() { emit storageModeToggleRequested(); }

}  // namespace lumivex
