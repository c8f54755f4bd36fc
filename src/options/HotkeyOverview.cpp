#include "options/HotkeyOverview.h"

#include "settings/SettingsTable.h"

#include <array>

namespace lumivex::options {
namespace {

struct Label {
  int number;
  const char* text;
};

// One line per hotkey, in the order of settings::kHotkeys.
constexpr std::array<Label, 5> kLabels = {{
    {270, "Full screen"},
    {280, "Screen area"},
    {290, "Active window"},
    {300, "Timed capture"},
    {800, "Switch storage mode"},
}};

const QString kCrLf = QStringLiteral("\r\n");

}  // namespace

bool OverviewClipboardMode(const OverviewSources& sources) {
  return sources.readSetting(QLatin1String(settings::kClipboardMode), QStringLiteral("False"))
             .toLower() == QStringLiteral("true");
}

QString BuildHotkeyOverview(const OverviewSources& sources) {
  QString text;
  for (size_t i = 0; i < kLabels.size(); ++i) {
    const int value =
        sources.readSettingInt(QLatin1String(settings::kHotkeys[i]), settings::kHotkeyDefaults[i]);
    text += sources.lookupText(kLabels[i].number, QLatin1String(kLabels[i].text)) +
            QStringLiteral(" - ") + sources.hotKeyText(quint32(value));
    if (i + 1 < kLabels.size()) text += kCrLf;
  }
  text += kCrLf + QStringLiteral("------------") + kCrLf;
  text += OverviewClipboardMode(sources)
              ? sources.lookupText(790, QStringLiteral("Capture to clipboard."))
              : sources.lookupText(780, QStringLiteral("Capture to file."));
  return text;
}

}  // namespace lumivex::options
