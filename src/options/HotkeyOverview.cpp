#include "options/HotkeyOverview.h"

#include "settings/CaptureCommands.h"
#include "settings/TextTable.h"

namespace lumivex::options {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

}  // namespace

QString BuildHotkeyOverview(const OverviewSources& sources) {
  QString text;
  for (std::size_t i = 0; i < settings::kCaptureCommands.size(); ++i) {
    const int value = sources.settings.hotkey(i);
    text += sources.lookupText(settings::kCaptureCommands[i].labelText) + QStringLiteral(" - ") +
            sources.hotKeyText(quint32(value));
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
}

void HotkeyOverview::Schedule() {
  if (!delay_->isActive()) delay_->start();
}

void HotkeyOverview::Show() {
  delay_->stop();
  const OverviewSources sources{
      [this](int number) { return services_.notices.text(number); }, services_.settings,
      [this](quint32 value) { return services_.hotkeys.HotKeyToText(value, true); }};
  const QString list = BuildHotkeyOverview(sources);
  services_.trayIcon.SetIconIndex(services_.settings.clipboardMode() ? 1 : 0);
  // String 260 has two defaults: the balloon's title reads better than the stored box title.
  const QString title = QString::fromStdString(
      services_.texts.LookupText(settings::text::kHotkeysTitle, kOverviewBalloonTitle));
  const QString boxCaption = services_.notices.text(settings::text::kHotkeysTitle);
  services_.notices.ShowNotice(title, boxCaption, list, platform::kNoticeInfo, kOverviewSeconds);
  if (!services_.backend.isAvailable() && !shortcutHintShown_) {
    shortcutHintShown_ = true;
    services_.notices.ShowNotice(title, shell::kBoxCaption,
                                 services_.notices.text(settings::text::kNoGlobalShortcuts),
                                 platform::kNoticeInfo, kOverviewSeconds);
  }
}

}  // namespace lumivex::options
