#include "options/HotkeyOverview.h"
#include "settings/SettingsTable.h"
#include "settings/TextTable.h"

#include <gtest/gtest.h>

#include <QHash>

#include <initializer_list>
#include <utility>

#include "TempDir.h"

using namespace lumivex::options;
namespace settings = lumivex::settings;

namespace {

// Settings in a temporary store, texts as a plain table.
struct Desk {
  TempDir dir;
  lumivex::SettingsFile key{dir.path / "Vistrel.conf", "Vistrel"};
  settings::SettingsReader reader{key};
  QHash<int, QString> texts;

  void store(std::initializer_list<std::pair<const char*, const char*>> values) const {
    for (const auto& [name, value] : values) key.write(name, value);
  }
  OverviewSources sources() {
    return {[this](int n) {
              return texts.value(n, QString::fromUtf8(settings::defaultText(n).data(),
                                                      qsizetype(settings::defaultText(n).size())));
            },
            reader,
            [](quint32 v) {
              QString t;
              if (v & 0x4000) t += "Ctrl+";
              if (v & 0x2000) t += "Shift+";
              return t + QStringLiteral("F%1").arg((v & 0xFF) - 0x6F);
            },
            {}};
  }
};

}  // namespace

TEST(HotkeyOverview, DefaultsReadAsTheFiveLinesSeparatorAndFileMode) {
  Desk desk;
  desk.store({{settings::kHotkey1, "8304"},
              {settings::kHotkey2, "8305"},
              {settings::kHotkey3, "8306"},
              {settings::kHotkey4, "8307"},
              {settings::kHotkey5, "16500"},
              {settings::kClipboardMode, "False"}});
  const OverviewSources s = desk.sources();
  EXPECT_EQ(BuildHotkeyOverview(s),
            "Full screen - Shift+F1\r\nScreen area - Shift+F2\r\nActive window - Shift+F3\r\n"
            "Timed capture - Shift+F4\r\nSwitch storage mode - Ctrl+F5\r\n------------\r\n"
            "Capture to file.");
  EXPECT_FALSE(desk.reader.clipboardMode());
}

// A value that is no combination lists the default that is registered in its place.
TEST(HotkeyOverview, ClipboardModeInAnyCaseAndUnreadableValuesShowTheSeeds) {
  Desk desk;
  desk.store({{settings::kHotkey1, "-1"},
              {settings::kHotkey2, "junk"},
              {settings::kHotkey3, "99999999"},
              {settings::kHotkey4, "16498"},
              {settings::kClipboardMode, "TRUE"}});
  const OverviewSources s = desk.sources();
  const QString text = BuildHotkeyOverview(s);
  EXPECT_TRUE(text.startsWith(
      "Full screen - Shift+F1\r\nScreen area - Shift+F2\r\nActive window - Shift+F3\r\n"));
  EXPECT_TRUE(text.contains("\r\nTimed capture - Ctrl+F3\r\n"));
  EXPECT_TRUE(
      text.endsWith("Switch storage mode - Ctrl+F5\r\n------------\r\nCapture to clipboard."));
  EXPECT_TRUE(desk.reader.clipboardMode());
}

TEST(HotkeyOverview, LabelsComeFromTheLanguageLookup) {
  Desk desk;
  desk.texts = {{270, "Schermo intero"}, {800, ""}, {780, "Cattura su file."}};
  const QString text = BuildHotkeyOverview(desk.sources());
  EXPECT_TRUE(text.startsWith("Schermo intero - Shift+F1\r\n"));
  EXPECT_TRUE(text.contains("\r\n - Ctrl+F5\r\n"));  // an empty translation stays empty
  EXPECT_TRUE(text.endsWith("------------\r\nCattura su file."));
}
