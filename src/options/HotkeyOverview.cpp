#include "options/HotkeyOverview.h"

#include "settings/SettingsTable.h"

#include <array>

namespace lumivex::options {
namespace {

// The text number of each hotkey's line ("Full screen", "Screen area", "Active window", "Timed
// capture", "Switch storage mode"), in the order of settings::kHotkeys.
constexpr std::array<int, 5> kLabels = {270, 280, 290, 300, 800};

const QString kCrLf = QStringLiteral("\r\n");

}  // namespace

bool OverviewClipboardMode(const OverviewSources& sources) {
  return sources.readSetting(QLatin1String(settings::kClipboardMode), QStringLiteral("False"))
             .toLower() == QStringLiteral("true");
}

QString BuildHotkeyOverview(const OverviewSources& sources) {
  QString text;
  for (size_t i = 0; i < kLabels.size(); ++i) {
    const int value = settings::hotKeyValue(
        i,
        sources.readSettingInt(QLatin1String(settings::kHotkeys[i]), settings::kHotkeyDefaults[i]));
    text +=
        sources.lookupText(kLabels[i]) + QStringLiteral(" - ") + sources.hotKeyText(quint32(value));
    if (i + 1 < kLabels.size()) text += kCrLf;
  }
  text += kCrLf + QStringLiteral("------------") + kCrLf;
  text += OverviewClipboardMode(sources) ? sources.lookupText(790)   // "Capture to clipboard."
                                         : sources.lookupText(780);  // "Capture to file."
  return text;
}

}  // namespace lumivex::options
