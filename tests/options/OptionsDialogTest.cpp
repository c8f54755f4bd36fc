// The options dialog on Qt's offscreen platform: stored values in, reactions, values out.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

#include <memory>

#include "TempDir.h"
#include "options/HotKeyEdit.h"
#include "options/TOptForm.h"
#include "platform/FakeAutostartEntry.h"
#include "platform/FakeHotkeyBackend.h"
#include "settings/LanguageFile.h"
#include "settings/Registry.h"
#include "settings/SettingsTable.h"
#include "shell/HotKeyManager.h"

using namespace lumivex;
using options::HotKeyEdit;
using options::TOptForm;

namespace {

struct OptionsDialogTest : ::testing::Test {
  TempDir dir;
  Registry registry{dir.path / "config", dir.path / "etc"};
  SettingsFile key = registry.key(kSettingsKey);
  platform::FakeAutostartEntry autostart;
  platform::FakeHotkeyBackend hotkeyBackend;
  shell::THotKeyManager hotkeys{hotkeyBackend};
  QStringList errors;
  bool archiver = false;
  std::unique_ptr<TOptForm> dialog;
  const QString desktop = QString::fromStdString((dir.path / "Desktop").string());

  // The values a first start writes.
  void seed() {
    for (const auto& row : settings::kSeedTable)
      key.write(row.name, row.seed ? row.seed : desktop.toStdString());
  }

  void open() {
    const std::string lang = (dir.path / "lang.txt").string();
    dialog = std::make_unique<TOptForm>(TOptForm::Services{
        key,
        [lang](int n, const QString& d) {
          return QString::fromStdString(lookupLanguageText(lang, n, d.toStdString()));
        },
        [this](quint32 v) { return hotkeys.HotKeyToText(v, false); }, desktop,
        [this] { return archiver; }, autostart, [this](const QString& e) { errors << e; }});
    dialog->show();
  }
  void pressOk() { control<QPushButton>("okButton")->click(); }
  void closeBox() { dialog->close(); }
  void reopen(bool byOk = true) {
    byOk ? pressOk() : closeBox();
    dialog.reset();
    open();
  }

  template <typename W = QWidget>
  W* control(const char* name) const {
    W* w = dialog->findChild<W*>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QTabWidget* pages() const { return control<QTabWidget>("pages"); }
  bool pageShown(const char* name) const {
    return pages()->isTabVisible(pages()->indexOf(control(name)));
  }
  QString stored(const char* name) const { return QString::fromStdString(key.read(name).value()); }
};

TEST_F(OptionsDialogTest, FirstOpeningShowsTheSeedsAndCloseStoresEveryRow) {
  seed();
  open();
  EXPECT_TRUE(dialog->windowTitle().startsWith("Lumivex v. " LUMIVEX_VERSION));
  EXPECT_EQ(dialog->size(), QSize(532, 352));
  EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "not resizable";
  EXPECT_EQ(pages()->currentWidget(), control("mainPage"));
  EXPECT_FALSE(pageShown("ftpPage"));
  EXPECT_FALSE(pageShown("aboutPage"));

  EXPECT_EQ(control<HotKeyEdit>("HotKey1")->text(), "Shift+F1");
  EXPECT_EQ(control<HotKeyEdit>("HotKey5")->text(), "Ctrl+F5");
  EXPECT_EQ(control<QLineEdit>("fName1")->text(), "LumivexPhoto");
  EXPECT_EQ(control<QLineEdit>("fPath1")->text(), desktop);
  EXPECT_EQ(control<QComboBox>("IntList1")->currentText(), "5");
  EXPECT_EQ(control<QComboBox>("tmcType")->currentText(), "minutes");
  EXPECT_EQ(control<QComboBox>("FAction")->count(), 3);
  EXPECT_FALSE(control("FAction")->isEnabled());
  EXPECT_EQ(control<QLabel>("jpegValue")->text(), "85");
  EXPECT_EQ(control<QLabel>("pngValue")->text(), "9");
  EXPECT_TRUE(control<QRadioButton>("RadioButton2")->isChecked());
  EXPECT_TRUE(control<QCheckBox>("DoAnonym")->isChecked());
  auto* user = control<QLineEdit>("user1");
  auto* pass = control<QLineEdit>("pass1");
  EXPECT_FALSE(user->isEnabled());
  EXPECT_FALSE(pass->isEnabled());
  EXPECT_EQ(user->text(), "anonymous");
  EXPECT_EQ(pass->text(), settings::kAnonymousPassword);
  EXPECT_EQ(pass->echoMode(), QLineEdit::Password);
  EXPECT_EQ(pass->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, pass), '*');
  EXPECT_FALSE(control<QCheckBox>("startWithDesktop")->isChecked());

  closeBox();
  EXPECT_EQ(stored("FormVersion"), "0");
  EXPECT_EQ(stored("HotKey1_HotKey"), "8304");
  EXPECT_EQ(stored("RadioButton1_Checked"), "False");
  EXPECT_EQ(stored("RadioButton2_Checked"), "True");
  EXPECT_EQ(stored("user1_Enabled"), "False");
  EXPECT_EQ(stored("DoAnonym_Checked"), "True");
  EXPECT_EQ(key.entries().size(), settings::kSeedTable.size() + 3);  // + the mode pair, version
  EXPECT_EQ(std::filesystem::status(key.path()).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_TRUE(autostart.changes.isEmpty());
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(OptionsDialogTest, FtpPageFollowsTheFinalActionInClicksAndInTheStoredOrder) {
  seed();
  open();
  auto* action = control<QComboBox>("FAction");
  control<QCheckBox>("DoFinal")->click();
  EXPECT_TRUE(action->isEnabled());
  EXPECT_FALSE(pageShown("ftpPage"));
  action->setFocus();
  QTest::keyClick(action, Qt::Key_Down);  // the user picks "FTP upload"
  EXPECT_EQ(action->currentText(), "FTP upload");
  EXPECT_TRUE(pageShown("ftpPage"));
  QTest::keyClick(action, Qt::Key_Down);
  EXPECT_EQ(action->currentText(), "E-mail");
  EXPECT_FALSE(pageShown("ftpPage"));
  QTest::keyClick(action, Qt::Key_Up);
  control<QCheckBox>("DoFinal")->click();
  EXPECT_FALSE(pageShown("ftpPage"));
  EXPECT_FALSE(action->isEnabled());

  // The stored index is loaded before the box, so the box's reaction sees it.
  control<QCheckBox>("DoFinal")->click();
  reopen();
  EXPECT_EQ(stored("FAction_ItemIndex"), "1");
  EXPECT_TRUE(pageShown("ftpPage"));
  EXPECT_TRUE(control("FAction")->isEnabled());
}

TEST_F(OptionsDialogTest, AnonymousAccessAndTheFieldStatesRoundTrip) {
  seed();
  open();
  control<QCheckBox>("DoAnonym")->click();
  auto* user = control<QLineEdit>("user1");
  auto* pass = control<QLineEdit>("pass1");
  EXPECT_TRUE(user->isEnabled() && pass->isEnabled());
  EXPECT_EQ(user->text(), "");
  EXPECT_EQ(pass->text(), "");
  user->setText("alice");
  pass->setText("s3cret");
  reopen();
  EXPECT_EQ(stored("user1_Enabled"), "True");
  EXPECT_EQ(stored("pass1_Enabled"), "True");
  EXPECT_EQ(stored("pass1_Text"), "s3cret");
  EXPECT_TRUE(control("user1")->isEnabled());
  EXPECT_EQ(control<QLineEdit>("user1")->text(), "alice");
  EXPECT_EQ(control<QLineEdit>("pass1")->text(), "s3cret");
  EXPECT_FALSE(control<QCheckBox>("DoAnonym")->isChecked());

  // Checked again: the stored texts give way to the anonymous ones.
  control<QCheckBox>("DoAnonym")->click();
  EXPECT_FALSE(control("user1")->isEnabled());
  EXPECT_EQ(control<QLineEdit>("user1")->text(), "anonymous");
}

TEST_F(OptionsDialogTest, ClipboardModeDisablesTheFileControlsAndStoresThePair) {
  seed();
  open();
  control<QRadioButton>("RadioButton1")->click();
  for (const char* name : {"pictureTypeLabel", "PicType", "fName1", "CheckBox1", "CheckBox2",
                           "fPath1", "folderButton"})
    EXPECT_FALSE(control(name)->isEnabled()) << name;
  reopen();
  EXPECT_EQ(stored("RadioButton1_Checked"), "True");
  EXPECT_EQ(stored("RadioButton2_Checked"), "False");
  EXPECT_FALSE(control("fName1")->isEnabled()) << "restored in clipboard mode";
  control<QRadioButton>("RadioButton2")->click();
  EXPECT_TRUE(control("fName1")->isEnabled());
}

TEST_F(OptionsDialogTest, EmptyNameAndFolderGetDefaultsOnlyThroughOk) {
  seed();
  open();
  control<QLineEdit>("fName1")->setText("");
  control<QLineEdit>("fPath1")->setText("");
  pressOk();
  EXPECT_EQ(stored("fName1_Text"), "LumivexPhoto");
  EXPECT_EQ(stored("fPath1_Text"), desktop);

  open();
  control<QLineEdit>("fName1")->setText("  ");
  control<QLineEdit>("fPath1")->setText("");
  closeBox();
  EXPECT_EQ(stored("fName1_Text"), "");
  EXPECT_EQ(stored("fPath1_Text"), "");
  open();  // an empty stored name shows the default again
  EXPECT_EQ(control<QLineEdit>("fName1")->text(), "LumivexPhoto");
}

// A "/" in the base name would put pictures outside the folder: typed, it is dropped and the
// field says why.
TEST_F(OptionsDialogTest, ASlashTypedIntoTheFileNameIsRefusedWithAReason) {
  seed();
  open();
  QLineEdit* name = control<QLineEdit>("fName1");
  name->setFocus();
  name->setText("shot");
  name->setCursorPosition(2);
  QTest::keyClicks(name, "../x");
  EXPECT_EQ(name->text(), "sh..xot");
  EXPECT_EQ(name->cursorPosition(), 5);
  EXPECT_TRUE(QToolTip::text().contains("must not contain \"/\""))
      << QToolTip::text().toStdString();
  pressOk();
  EXPECT_EQ(stored("fName1_Text"), "sh..xot");

  // The reason comes in the user's language.
  dir.write("lang.txt", "[lumivex_it]\n950=Niente barre\n");
  open();
  QTest::keyClicks(control<QLineEdit>("fName1"), "/");
  EXPECT_EQ(QToolTip::text(), "Niente barre");
}

TEST_F(OptionsDialogTest, OutOfRangeValuesAreClampedOrShowNoSelection) {
  seed();
  key.write("JPGCompr1_Position", "150");
  key.write("PNGCompr1_Position", "-3");
  key.write("FAction_ItemIndex", "4");
  key.write("PicType_ItemIndex", "JPG");
  open();
  EXPECT_EQ(control<QSlider>("JPGCompr1")->value(), 100);
  EXPECT_EQ(control<QLabel>("jpegValue")->text(), "100");
  EXPECT_EQ(control<QLabel>("pngValue")->text(), "0");
  EXPECT_EQ(control<QComboBox>("FAction")->currentIndex(), -1);
  EXPECT_EQ(control<QComboBox>("PicType")->currentIndex(), 0);
  closeBox();
  EXPECT_EQ(stored("JPGCompr1_Position"), "100");
  EXPECT_EQ(stored("PNGCompr1_Position"), "0");
  EXPECT_EQ(stored("FAction_ItemIndex"), "-1");
  EXPECT_EQ(stored("PicType_ItemIndex"), "0");

  key.write("FAction_ItemIndex", "4");
  archiver = true;  // with 7-Zip the archive actions are offered and index 4 is one of them
  open();
  EXPECT_EQ(control<QComboBox>("FAction")->currentText(), "Compress picture to 7z with 7-Zip");
}

TEST_F(OptionsDialogTest, HotkeyFieldsRecordCombinationsWithTheReplacementModifiers) {
  seed();
  open();
  auto* first = control<HotKeyEdit>("HotKey1");
  auto* fifth = control<HotKeyEdit>("HotKey5");
  auto* second = control<HotKeyEdit>("HotKey2");
  first->setFocus();
  QTest::keyClick(first, Qt::Key_F9);
  EXPECT_EQ(first->hotKey(), 0x2000 | 0x78);
  EXPECT_EQ(first->text(), "Shift+F9");
  QTest::keyClick(fifth, Qt::Key_F9);
  EXPECT_EQ(fifth->hotKey(), 0x4000 | 0x78);
  QTest::keyClick(fifth, Qt::Key_F7, Qt::ShiftModifier);
  EXPECT_EQ(fifth->text(), "Ctrl+F7");
  QTest::keyClick(second, Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(second->hotKey(), 0x4000 | 0x8000 | 0x41);
  QTest::keyClick(second, Qt::Key_Exclam, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(second->text(), "Ctrl+Shift+1");
  QTest::keyClick(second, Qt::Key_Escape);  // no cancel: nothing happens
  EXPECT_TRUE(dialog->isVisible());
  QTest::keyClick(second, Qt::Key_Return);  // the dialog's, not a combination
  EXPECT_EQ(second->text(), "Ctrl+Shift+1");
  EXPECT_FALSE(dialog->isVisible()) << "Return pressed the default button";
  EXPECT_EQ(stored("HotKey1_HotKey"), "8312");
  EXPECT_EQ(stored("HotKey5_HotKey"), QString::number(0x4076));
}

TEST_F(OptionsDialogTest, CaptionsComeFromTheLanguageFileAtEachOpeningAndFit) {
  seed();
  open();
  EXPECT_EQ(control<QLabel>("fullScreenLabel")->text(), "Capture full screen:");
  EXPECT_EQ(control<QCheckBox>("BalloonOn")->text(), "Show notice when done");
  EXPECT_TRUE(options::captionsFit(*dialog));
  EXPECT_EQ(dialog->font().family(), QApplication::font().family()) << "the desktop's font";
  closeBox();

  std::filesystem::copy_file(LUMIVEX_SHIPPED_LANG_FILE, dir.path / "lang.txt");
  archiver = true;
  open();
  EXPECT_EQ(control<QLabel>("fullScreenLabel")->text(), "Cattura schermo intero:");
  EXPECT_EQ(pages()->tabText(0), "Principale");
  EXPECT_EQ(control<QComboBox>("tmcType")->itemText(1), "secondi");
  EXPECT_EQ(control<QComboBox>("FAction")->itemText(4), "Comprimi l'immagine in 7z con 7-Zip");
  EXPECT_TRUE(options::captionsFit(*dialog)) << "an Italian caption is clipped";
}

TEST_F(OptionsDialogTest, RunAtStartupActsAtOnceAndIsUncheckedAtEveryOpening) {
  seed();
  open();
  auto* box = control<QCheckBox>("startWithDesktop");
  box->click();
  box->click();
  EXPECT_EQ(autostart.changes, QList<bool>({true, false}));
  box->click();
  reopen();
  EXPECT_FALSE(control<QCheckBox>("startWithDesktop")->isChecked());
  EXPECT_EQ(autostart.changes.size(), 3) << "the opening itself changes nothing";

  autostart.failWrites = true;
  control<QCheckBox>("startWithDesktop")->click();
  EXPECT_EQ(errors, QStringList({"Error creating system registry entry"}));
  EXPECT_TRUE(control<QCheckBox>("startWithDesktop")->isChecked()) << "the box keeps its new state";
}

// Runs `answer` on the folder picker once it is shown.
void whenPickerShows(std::function<void(QFileDialog&)> answer) {
  QTimer::singleShot(0, [answer] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* picker = qobject_cast<QFileDialog*>(w); picker && picker->isVisible())
        return answer(*picker);
    ADD_FAILURE() << "no folder picker";
  });
}

TEST_F(OptionsDialogTest, FolderPickerStartsAtTheFolderAndCancelKeepsTheText) {
  seed();
  std::filesystem::create_directories(dir.path / "Desktop" / "shots");
  open();
  auto* path = control<QLineEdit>("fPath1");
  QString title, hint, start;
  whenPickerShows([&](QFileDialog& picker) {
    title = picker.windowTitle();
    hint = picker.findChild<QLabel*>("instruction")->text();
    start = picker.directory().absolutePath();
    picker.reject();
  });
  control<QToolButton>("folderButton")->click();
  EXPECT_EQ(title, "Select folder...");
  EXPECT_EQ(hint, "Please, choose the folder where you want your picture(s) to be stored.");
  EXPECT_EQ(start, desktop);
  EXPECT_EQ(path->text(), desktop);

  whenPickerShows([&](QFileDialog& picker) {
    picker.selectFile(desktop + "/shots");
    QMetaObject::invokeMethod(&picker, "accept");
  });
  control<QToolButton>("folderButton")->click();
  EXPECT_EQ(path->text(), desktop + "/shots");
}

}  // namespace
