#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QWidget>

#include "TempDir.h"
#include "options/TFormStorage.h"
#include "settings/Registry.h"

using namespace lumivex;

namespace {

// Stands in for a hotkey field: an integer property named hotKey.
class HotKeyField : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int hotKey READ hotKey WRITE setHotKey)
 public:
  using QWidget::QWidget;
  int hotKey() const { return value_; }
  void setHotKey(int v) { value_ = v; }

 private:
  int value_ = 8304;
};

// A small options form: the anonymous box disables the user field, like the real dialog.
class TestForm : public QWidget {
 public:
  QCheckBox* DoAnonym = make<QCheckBox>("DoAnonym");
  QLineEdit* user1 = make<QLineEdit>("user1");
  QLineEdit* fName1 = make<QLineEdit>("fName1");
  QComboBox* PicType = make<QComboBox>("PicType");
  QComboBox* IntList1 = make<QComboBox>("IntList1");
  QSlider* JPGCompr1 = make<QSlider>("JPGCompr1");
  QCheckBox* ClickOn = make<QCheckBox>("ClickOn");
  HotKeyField* HotKey1 = make<HotKeyField>("HotKey1");
  TFormStorage fs1;
  bool acceptClose = true;
  QString nameSeenByShowHandler;

  explicit TestForm(SettingsFile key) : fs1(std::move(key), this) {
    PicType->addItems({"PNG", "BMP", "JPG"});
    IntList1->setEditable(true);
    IntList1->addItems({"1", "5", "10"});
    JPGCompr1->setRange(0, 100);
    JPGCompr1->setValue(85);
    ClickOn->setChecked(true);
    connect(DoAnonym, &QCheckBox::toggled, this, [this](bool on) { user1->setEnabled(!on); });
    fs1.StoredProps = {"DoAnonym.Checked",   "user1.Enabled",     "user1.Text",
                       "fName1.Text",        "PicType.ItemIndex", "IntList1.Text",
                       "JPGCompr1.Position", "ClickOn.Checked",   "HotKey1.HotKey",
                       "Missing.Text",       "fName1.Bogus"};
  }

 protected:
  void showEvent(QShowEvent*) override { nameSeenByShowHandler = fName1->text(); }
  void closeEvent(QCloseEvent* e) override { e->setAccepted(acceptClose); }

 private:
  template <typename W>
  W* make(const char* name) {
    auto* w = new W(this);
    w->setObjectName(QString::fromLatin1(name));
    return w;
  }
};

struct FormStorageTest : ::testing::Test {
  TempDir dir;
  Registry registry{dir.path, dir.path / "etc"};
  SettingsFile key = registry.key(kSettingsKey);
  std::optional<std::string> stored(const char* name) { return key.read(name); }
};

TEST_F(FormStorageTest, RestoreFollowsListOrderAndRunsTheControlsReactions) {
  key.write("DoAnonym_Checked", "False");  // the reaction enables user1 ...
  key.write("user1_Enabled", "False");     // ... and the later entry disables it again
  TestForm form(key);
  form.fs1.Active = true;
  form.fs1.RestoreFormValues();
  EXPECT_FALSE(form.DoAnonym->isChecked());
  EXPECT_FALSE(form.user1->isEnabled());

  key.write("DoAnonym_Checked", "TRUE");
  key.write("user1_Enabled", "True");
  form.fs1.RestoreFormValues();
  EXPECT_TRUE(form.DoAnonym->isChecked());
  EXPECT_TRUE(form.user1->isEnabled());
}

TEST_F(FormStorageTest, RestoreConvertsTextsAndLeavesAbsentOrUnknownValuesAlone) {
  key.write("fName1_Text", "  Shot  ");
  key.write("PicType_ItemIndex", "JPG");  // not a number: the first item
  key.write("IntList1_Text", "17");       // any text, not only the listed ones
  key.write("ClickOn_Checked", "maybe");  // neither word: the box keeps its state
  key.write("HotKey1_HotKey", "16500");
  TestForm form(key);
  form.PicType->setCurrentIndex(2);
  form.fs1.Active = true;
  form.fs1.RestoreFormValues();
  EXPECT_EQ(form.fName1->text(), "Shot");
  EXPECT_EQ(form.PicType->currentIndex(), 0);
  EXPECT_EQ(form.IntList1->currentText(), "17");
  EXPECT_TRUE(form.ClickOn->isChecked());
  EXPECT_EQ(form.JPGCompr1->value(), 85);  // absent
  EXPECT_EQ(form.HotKey1->hotKey(), 16500);
  EXPECT_TRUE(form.fs1.restored());
}

TEST_F(FormStorageTest, SaveWritesEveryResolvedEntryTrimmedWithItsControlName) {
  TestForm form(key);
  form.fs1.Active = true;
  form.fs1.SaveFormValues();
  EXPECT_FALSE(stored("FormVersion")) << "an unrestored form must not save its design state";

  form.fs1.RestoreFormValues();
  form.fName1->setText("\t My Shot \n");
  form.PicType->setCurrentIndex(1);
  form.JPGCompr1->setValue(40);
  form.fs1.SaveFormValues();
  EXPECT_TRUE(form.fs1.saved());
  EXPECT_EQ(stored("FormVersion"), "0");
  EXPECT_EQ(stored("fName1_Text"), "My Shot");
  EXPECT_EQ(stored("PicType_ItemIndex"), "1");
  EXPECT_EQ(stored("JPGCompr1_Position"), "40");
  EXPECT_EQ(stored("DoAnonym_Checked"), "False");
  EXPECT_EQ(stored("user1_Enabled"), "True");
  EXPECT_EQ(stored("user1_Text"), "");  // empty text is saved, not skipped
  EXPECT_EQ(stored("HotKey1_HotKey"), "8304");
  EXPECT_FALSE(stored("Missing_Text"));
}

TEST_F(FormStorageTest, ShowRestoresBeforeTheFormsHandlerAndCloseSavesOnlyWhenItCloses) {
  key.write("fName1_Text", "Restored");
  TestForm form(key);
  form.fs1.Active = true;
  form.show();
  EXPECT_EQ(form.nameSeenByShowHandler, "Restored");

  form.fName1->setText("Edited");
  form.acceptClose = false;
  EXPECT_FALSE(form.close());
  EXPECT_EQ(stored("fName1_Text"), "Restored");
  form.acceptClose = true;
  EXPECT_TRUE(form.close());
  EXPECT_EQ(stored("fName1_Text"), "Edited");
}

TEST_F(FormStorageTest, DestroyingAShownUnsavedFormSavesButANeverShownOneDoesNot) {
  {
    TestForm form(key);
    form.fs1.Active = true;
    form.fName1->setText("Design state");
  }
  EXPECT_FALSE(stored("fName1_Text"));
  {
    TestForm form(key);
    form.fs1.Active = true;
    form.show();
    form.fName1->setText("Typed");
  }
  EXPECT_EQ(stored("fName1_Text"), "Typed");
}

TEST_F(FormStorageTest, SaveErrorOnCloseIsReportedAndTheFormStillCloses) {
  QStringList errors;  // outlives the form: its destroy reaction may report too
  TestForm form(key);
  form.fs1.Active = true;
  form.fs1.onError = [&](const QString& text) { errors << text; };
  form.show();
  std::filesystem::remove_all(dir.path / "Quorlan Software");
  std::ofstream(dir.path / "Quorlan Software") << "not a folder";
  EXPECT_TRUE(form.close());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0], "Failed to create key Software\\Quorlan Software\\Vistrel");
}

TEST_F(FormStorageTest, SingleValueReadsUseTheirFallbacks) {
  TFormStorage fs(key);
  EXPECT_EQ(fs.ReadSetting("Radiobutton1_Checked", "False"), "False");
  EXPECT_EQ(fs.ReadSettingInt("Hotkey1_HotKey", 8304), 8304);
  fs.WriteSetting("RadioButton1_Checked", "True");
  fs.WriteSettingInt("HOTKEY1_HOTKEY", -1);
  EXPECT_EQ(fs.ReadSetting("Radiobutton1_Checked", "False"), "True");
  EXPECT_EQ(fs.ReadSettingInt("Hotkey1_HotKey", 8304), -1);
  fs.WriteSetting("Hotkey2_HotKey", "Shift+F2");
  EXPECT_EQ(fs.ReadSettingInt("Hotkey2_HotKey", 8305), 8305);
  fs.WriteSetting("fName1_Text", "");
  EXPECT_EQ(fs.ReadSetting("fName1_Text", "fallback"), "");
}

}  // namespace

#include "FormStorageTest.moc"
