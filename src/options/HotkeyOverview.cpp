#include "options/HotkeyOverview.h"

#include "settings/CaptureCommands.h"
#include "settings/TextTable.h"

namespace lumivex::options {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

std::optional<QString> desktopKeys(const OverviewSources& sources, quint32 value) {
  if (!sources.desktopKeys) return std::nullopt;
  return sources.desktopKeys(value);
}

}  // namespace

bool OverviewHasCaptureWithoutKey(const OverviewSources& sources) {
  for (std::size_t i = 0; i < settings::kCaptureCommands.size(); ++i) {
    const std::optional<QString> bound = desktopKeys(sources, quint32(sources.settings.hotkey(i)));
    if (bound && bound->isEmpty()) return true;
  }
  return false;
}

QString BuildHotkeyOverview(const OverviewSources& sources) {
  QString text;
  for (std::size_t i = 0; i < settings::kCaptureCommands.size(); ++i) {
    const auto value = quint32(sources.settings.hotkey(i));
    const std::optional<QString> bound = desktopKeys(sources, value);
    const QString keys = !bound             ? sources.hotKeyText(value)
                         : bound->isEmpty() ? sources.lookupText(settings::text::kNoKey)
                                            : *bound;
    text +=
        sources.lookupText(settings::kCaptureCommands[i].labelText) + QStringLiteral(" - ") + keys;
    if (i + 1 < settings::kCaptureCommands.size()) text += kCrLf;
  }
  text += kCrLf + QStringLiteral("------------") + kCrLf;
  text += sources.lookupText(sources.settings.clipboardMode() ? settings::text::kCaptureToClipboard
                                                              : settings::text::kCaptureToFile);
  return text;
}

HotkeyOverview::HotkeyOverview(Services services)
    : services_(services), delay_(services.clock.createTimer()) {
  delay_->setInterval(kOverviewDelayMs);
  delay_->setSingleShot(true);
  // An overview that waited for the desktop's answer comes as soon as it is there.
  services_.backend.setBindingsChangedHandler([this] {
    if (!waitingForDesktop_ || services_.backend.bindingPending()) return;
    waitingForDesktop_ = false;
    Schedule();
  });
}

HotkeyOverview::~HotkeyOverview() { services_.backend.setBindingsChangedHandler(nullptr); }

void HotkeyOverview::Schedule() {
  if (!delay_->isActive()) delay_->start();
}

void HotkeyOverview::Show() {
  delay_->stop();
  // Listing keys the desktop has not decided on yet would tell the user something untrue.
  if (services_.backend.bindingPending()) {
    waitingForDesktop_ = true;
    return;
  }
  const OverviewSources sources{
      [this](int number) { return services_.notices.text(number); }, services_.settings,
      [this](quint32 value) { return services_.hotkeys.HotKeyToText(value, true); },
      [this](quint32 value) {
        unsigned virtualKey = 0, modifiers = 0;
        shell::THotKeyManager::SeparateHotKey(value, virtualKey, modifiers);
        return services_.backend.boundKeys(modifiers, virtualKey);
      }};
  const QString list = BuildHotkeyOverview(sources);
  services_.trayIcon.SetIconIndex(services_.settings.clipboardMode() ? 1 : 0);
  // String 260 has two defaults: the balloon's title reads better than the stored box title.
  const QString title = QString::fromStdString(
      services_.texts.LookupText(settings::text::kHotkeysTitle, kOverviewBalloonTitle));
  const QString boxCaption = services_.notices.text(settings::text::kHotkeysTitle);
  services_.notices.ShowNotice(title, boxCaption, list, platform::kNoticeInfo, kOverviewSeconds);
  // A capture the desktop gave no key is reachable only through the desktop's own settings:
  // say how, with every overview that shows one, beside the list it explains (a notice too
  // long for one, and one that replaced the list would leave "no key" unseen).
  if (OverviewHasCaptureWithoutKey(sources)) {
    services_.notices.ShowNotice(
        title, shell::kBoxCaption, services_.notices.text(settings::text::kNoGlobalShortcuts),
        platform::kNoticeInfo, kOverviewSeconds, platform::NoticePlace::kBeside);
  }
}

}  // namespace lumivex::options
