#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TempDir.h"
#include "TestEnvironment.h"
#include "app/THidForm.h"
#include "settings/SettingsTable.h"

using namespace lumivex;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// The tray menu's items in order: Options1, ShowHotkeys1, N1, Exit1.
enum MenuItem { kOptions, kShowHotkeys, kSeparator, kExit };
QAction* menuItem(THidForm& form, MenuItem item) { return form.trayMenu().actions().at(item); }

struct MainFormTest : ::testing::Test {
  TempDir dir;
  platform::FakeUserEnvironment env = environmentIn(dir);
  RecordingErrorReporter errors;
  FakePlatform platform;
  SettingsFile key{dir.path / "config/Quorlan Software/Vistrel.conf", kSettingsKey};
  std::unique_ptr<THidForm> start() {
    auto lang = QString::fromStdString((dir.path / "lang.txt").string());
    return std::make_unique<THidForm>(formServices(env, errors, lang, platform));
  }
};

TEST_F(MainFormTest, FirstStartSeedsEveryValueInTableOrder) {
  auto form = start();
  EXPECT_THAT(errors.errors, IsEmpty());
  auto entries = key.entries();
  ASSERT_EQ(entries.size(), settings::kSeedTable.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].first, settings::kSeedTable[i].name);
    if (settings::kSeedTable[i].seed) {
      EXPECT_EQ(entries[i].second, settings::kSeedTable[i].seed);
    }
  }
  EXPECT_EQ(key.read(settings::kFolder), (dir.path / "Desktop").string());
  EXPECT_THAT(*key.read(settings::kFtpPassword), ::testing::MatchesRegex(".+@.+\\..+"));
  EXPECT_TRUE(form->overview().delay().isActive()) << "the overview is scheduled";
  EXPECT_FALSE(form->timedRun().timer().isActive());
  EXPECT_FALSE(form->ftpStoreDelay().isActive());
  EXPECT_EQ(form->ftpClient().State(), ftp::ftpIdle);
}

TEST_F(MainFormTest, EmptyValuesAreReseededAndOthersKept) {
  key.write(settings::kBaseName, "");
  key.write(settings::kFtpServer, "");
  key.write(settings::kJpegQuality, "40");
  key.write(settings::kFolder, "/srv/" + std::string(400, 'p'));  // longer than the old 255 limit
  key.write(settings::kClipboardMode, "True");
  start();
  EXPECT_EQ(key.read(settings::kBaseName), "LumivexPhoto");
  EXPECT_EQ(key.read(settings::kFtpServer), "");  // seeded with empty text again
  EXPECT_EQ(key.read(settings::kJpegQuality), "40");
  EXPECT_EQ(key.read(settings::kFolder), "/srv/" + std::string(400, 'p'));
  EXPECT_EQ(key.read(settings::kClipboardMode), "True");
  // The main form's storage stamps its version when the form goes away, and nothing else.
  EXPECT_EQ(key.read("FormVersion"), "0");
  EXPECT_EQ(key.entries().size(), settings::kSeedTable.size() + 2);
}

TEST_F(MainFormTest, SeedingErrorIsShownAndSkipsTheRestOfTheStart) {
  dir.write("config", "a file where the settings folder should be");
  dir.write("lang.txt", "[lumivex_it]\n330=Esci\n");
  auto form = start();
  EXPECT_THAT(errors.errors, ElementsAre("Error creating system registry entry"));
  EXPECT_EQ(menuItem(*form, kExit)->text(), "Esci") << "the menu is localised before the seeding";
  EXPECT_FALSE(form->overview().delay().isActive()) << "steps after the seeding are skipped";
}

TEST_F(MainFormTest, TrayMenuTextsComeFromTheLanguageFile) {
  dir.write("lang.txt", "[LUMIVEX_IT]\n310 = Opzioni...\n320=\n330=--\n");
  auto form = start();
  EXPECT_EQ(menuItem(*form, kOptions)->text(), "Opzioni...");
  EXPECT_EQ(menuItem(*form, kShowHotkeys)->text(), "");
  EXPECT_TRUE(menuItem(*form, kSeparator)->isSeparator());
  EXPECT_EQ(menuItem(*form, kExit)->text(), "Exit");
  EXPECT_EQ(form->trayMenu().defaultAction(), menuItem(*form, kOptions));
  EXPECT_EQ(form->LookupText(145, "Screen captured!"), "Screen captured!");
}

TEST_F(MainFormTest, OptionsDialogOpensOnceAtATimeAndReschedulesTheOverview) {
  auto form = start();
  form->overview().delay().stop();
  int opened = 0;
  answerOptionsDialogs(*form, [&](options::TOptForm&) {
    ++opened;
    EXPECT_TRUE(form->optionsDialogOpen());
    form->onTrayDoubleClick();  // a second double click while the dialog shows
    menuItem(*form, kOptions)->trigger();
  });
  form->onTrayDoubleClick();
  EXPECT_EQ(opened, 1);
  EXPECT_FALSE(form->optionsDialogOpen());
  EXPECT_TRUE(form->overview().delay().isActive());
  form->onTrayDoubleClick();
  EXPECT_EQ(opened, 2);
}

}  // namespace
