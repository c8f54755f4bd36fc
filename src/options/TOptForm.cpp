#include "options/TOptForm.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProxyStyle>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QToolTip>

#include <string_view>

#include "base/Version.h"
#include "settings/SettingsReader.h"
#include "settings/SettingsTable.h"
#include "settings/TextTable.h"
#include "ui_TOptForm.h"

namespace lumivex::options {
namespace {

constexpr int kFtpActionIndex = 1;

// Captions that come from the language lookup; the form's own text is the default.
struct Caption {
  const char* control;
  int number;
};
constexpr Caption kCaptions[] = {
    {"hotkeysBox", 340},       {"fullScreenLabel", 350}, {"areaLabel", 360},
    {"windowLabel", 370},      {"timedLabel", 380},      {"storageModeLabel", 770},
    {"fileSettingsBox", 390},  {"RadioButton1", 730},    {"RadioButton2", 740},
    {"pictureTypeLabel", 400}, {"fName1Label", 410},     {"CheckBox1", 420},
    {"CheckBox2", 430},        {"fPath1Label", 440},     {"miscellaneousBox", 450},
    {"ClickOn", 460},          {"BalloonOn", 470},       {"startWithDesktop", 480},
    {"DoFinal", 490},          {"timedCaptureBox", 500}, {"intervalLabel", 510},
    {"qualityBox", 540},       {"jpegLabel", 550},       {"pngLabel", 560},
    {"FtpServer1Label", 650},  {"DoAnonym", 660},        {"user1Label", 670},
    {"pass1Label", 680},       {"FtpPort1Label", 690},   {"RemFolder1Label", 700},
    {"DoPasv", 710},
};
struct PageCaption {
  const char* page;
  int number;
};
constexpr PageCaption kPageCaptions[] = {
    {"mainPage", 335}, {"advancedPage", 445}, {"ftpPage", 720}, {"aboutPage", 600}};

struct ListText {
  int number;
  const char* defaultText;
};
constexpr ListText kIntervalUnits[] = {{520, "minutes"}, {530, "seconds"}};
constexpr ListText kActions[] = {{570, "None"}, {580, "FTP upload"}, {590, "E-mail"}};
// Offered only when 7-Zip is there; indices 3 and 4 are the stored action numbers.
constexpr ListText kArchiveActions[] = {{630, "Compress picture to ZIP with 7-Zip"},
                                        {640, "Compress picture to 7z with 7-Zip"}};

// Password fields show "*" for every character, whatever the desktop style draws.
class StarPasswordStyle final : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

}  // namespace

bool captionsFit(const QWidget& dialog) {
  for (const QGroupBox* group : dialog.findChildren<QGroupBox*>()) {
    if (!group->layout()) continue;
    QLayout* layout = group->layout();
    layout->invalidate();
    const QSize needed = group->minimumSizeHint();
    // Word-wrapped captions need the height their lines take at the group's width.
    const int height = layout->hasHeightForWidth()
                           ? std::max(needed.height(), layout->totalHeightForWidth(group->width()))
                           : needed.height();
    if (needed.width() > group->width() || height > group->height()) return false;
  }
  return true;
}

TOptForm::TOptForm(Services services, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TOptForm>()),
      services_(std::move(services)),
      formStorage_(services_.settings, this) {
  ui_->setupUi(this);
  formStorage_.onError = services_.showError;
  for (const char* entry : settings::kDialogStoredProps)
    formStorage_.StoredProps << QString::fromLatin1(entry);
  FormCreate();
}

TOptForm::~TOptForm() = default;

QString TOptForm::text(int number, const QString& defaultText) const {
  return services_.lookupText ? services_.lookupText(number, defaultText) : defaultText;
}

QString TOptForm::text(int number) const {
  const std::string_view fallback = settings::defaultText(number);
  return text(number, QString::fromUtf8(fallback.data(), qsizetype(fallback.size())));
}

void TOptForm::FormCreate() {
  localise();
  fillLists();
  ui_->pages->setCurrentWidget(ui_->mainPage);
  formStorage_.Active = true;
  if (services_.archiverPresent && services_.archiverPresent())
    for (const ListText& item : kArchiveActions)
      ui_->FAction->addItem(text(item.number, QLatin1String(item.defaultText)));
  showJpegQuality();
  showPngLevel();

  setWindowTitle(QStringLiteral("Lumivex v. ") + QLatin1String(kVersion) + QStringLiteral(" - ") +
                 text(310, QStringLiteral("Options...")).remove(QStringLiteral("...")));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(532, 352);
  ui_->pass1->setText(QLatin1String(settings::kAnonymousPassword));
  auto* stars = new StarPasswordStyle;
  stars->setParent(this);
  ui_->pass1->setStyle(stars);
  ui_->folderButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  // The hidden pages: FTP until its rule shows it, About never.
  ui_->pages->setTabVisible(ui_->pages->indexOf(ui_->ftpPage), false);
  ui_->pages->setTabVisible(ui_->pages->indexOf(ui_->aboutPage), false);
  for (auto* field : {ui_->HotKey1, ui_->HotKey2, ui_->HotKey3, ui_->HotKey4, ui_->HotKey5})
    field->setTextOf(services_.hotKeyText);
  ui_->HotKey5->setReplacementModifier(0x4000);  // Ctrl for the storage-mode key
  connectReactions();
  fitFontToCaptions();
  centreOnPrimaryScreen();
}

void TOptForm::localise() {
  for (const Caption& caption : kCaptions) {
    QWidget* control = findChild<QWidget*>(QLatin1String(caption.control));
    if (auto* group = qobject_cast<QGroupBox*>(control))
      group->setTitle(text(caption.number, group->title()));
    else if (auto* label = qobject_cast<QLabel*>(control))
      label->setText(text(caption.number, label->text()));
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
      button->setText(text(caption.number, button->text()));
  }
  for (const PageCaption& caption : kPageCaptions) {
    const int index = ui_->pages->indexOf(findChild<QWidget*>(caption.page));
    ui_->pages->setTabText(index, text(caption.number, ui_->pages->tabText(index)));
  }
  folderPickerTitle_ = text(settings::text::kSelectFolder);
  folderPickerHint_ = text(settings::text::kChooseFolder);
}

void TOptForm::fillLists() {
  ui_->tmcType->clear();
  for (const ListText& item : kIntervalUnits)
    ui_->tmcType->addItem(text(item.number, QLatin1String(item.defaultText)));
  ui_->tmcType->setCurrentIndex(0);
  ui_->FAction->clear();
  for (const ListText& item : kActions)
    ui_->FAction->addItem(text(item.number, QLatin1String(item.defaultText)));
  ui_->FAction->setCurrentIndex(0);
}

// Reactions run when a state changes, by the user or by the restore: the stored order relies
// on it (the action index before DoFinal, the FTP fields before DoAnonym).
void TOptForm::connectReactions() {
  connect(ui_->okButton, &QPushButton::clicked, this, &TOptForm::acceptAndClose);
  connect(ui_->folderButton, &QToolButton::clicked, this, &TOptForm::chooseFolder);
  connect(ui_->startWithDesktop, &QCheckBox::toggled, this, &TOptForm::applyStartWithDesktop);
  connect(ui_->fName1, &QLineEdit::textEdited, this, &TOptForm::refuseSlashInName);
  connect(ui_->DoFinal, &QCheckBox::toggled, this, &TOptForm::enableFinalActionChoice);
  connect(ui_->FAction, &QComboBox::activated, this, &TOptForm::showFtpPageWhenChosen);
  connect(ui_->DoAnonym, &QCheckBox::toggled, this, &TOptForm::fillAnonymousLogOn);
  // Either storage button: only the one turned on reacts.
  for (QRadioButton* storage : {ui_->RadioButton1, ui_->RadioButton2}) {
    connect(storage, &QRadioButton::toggled, this, [this](bool on) {
      if (on) enableFileSettingsWhenSavingToFile();
    });
  }
  connect(ui_->JPGCompr1, &QSlider::valueChanged, this, &TOptForm::showJpegQuality);
  connect(ui_->PNGCompr1, &QSlider::valueChanged, this, &TOptForm::showPngLevel);
}

void TOptForm::showEvent(QShowEvent* event) {
  // The form storage has restored the stored controls before this runs.
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TOptForm::FormShow() {
  ui_->pages->setCurrentWidget(ui_->mainPage);
  const settings::SettingsReader stored(services_.settings);
  const QString name = QString::fromStdString(stored.baseName());
  ui_->fName1->setText(name.isEmpty() ? QLatin1String(settings::kDefaultBaseName) : name);
  const QString folder =
      QString::fromStdString(stored.folder(services_.desktopFolder.toStdString()));
  ui_->fPath1->setText(folder.isEmpty() ? services_.desktopFolder : folder);
  ui_->HotKey1->setFocus();
}

// There is no cancel: Escape does not close the dialog (closing saves).
void TOptForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TOptForm::acceptAndClose() {
  if (ui_->fName1->text().isEmpty())
    ui_->fName1->setText(QLatin1String(settings::kDefaultBaseName));
  if (ui_->fPath1->text().isEmpty()) ui_->fPath1->setText(services_.desktopFolder);
  close();  // the form storage saves on every close
}

// A "/" in the base name would lead the pictures out of the chosen folder (a capture refuses
// such a name): it is taken out as it is typed or pasted, and the field says why.
void TOptForm::refuseSlashInName(const QString& typed) {
  if (!typed.contains('/')) return;
  QLineEdit& field = *ui_->fName1;
  const qsizetype cursor = field.cursorPosition() - typed.left(field.cursorPosition()).count('/');
  field.setText(QString(typed).remove('/'));
  field.setCursorPosition(int(cursor));
  QToolTip::showText(field.mapToGlobal(QPoint(0, field.height())),
                     text(settings::text::kNoSlashInName), &field);
}

void TOptForm::chooseFolder() {
  // Qt's own dialog, so the instruction text can be shown beside the folder view.
  QFileDialog picker(this, folderPickerTitle_);
  picker.setOption(QFileDialog::DontUseNativeDialog);
  picker.setOption(QFileDialog::ShowDirsOnly);
  picker.setFileMode(QFileDialog::Directory);
  if (!ui_->fPath1->text().isEmpty()) picker.setDirectory(ui_->fPath1->text());
  auto* hint = new QLabel(folderPickerHint_, &picker);
  hint->setObjectName(QStringLiteral("instruction"));
  hint->setWordWrap(true);
  if (auto* grid = qobject_cast<QGridLayout*>(picker.layout()))
    grid->addWidget(hint, grid->rowCount(), 0, 1, grid->columnCount());
  if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty()) return;
  ui_->fPath1->setText(QDir::toNativeSeparators(QDir::cleanPath(picker.selectedFiles().first())));
}

void TOptForm::applyStartWithDesktop() {
  // The box keeps its new state when the entry cannot be written.
  try {
    services_.autostart.setEnabled(ui_->startWithDesktop->isChecked());
  } catch (const std::exception& e) {
    if (services_.showError) services_.showError(QString::fromUtf8(e.what()));
  }
}

// DoFinalClick
void TOptForm::enableFinalActionChoice() {
  ui_->FAction->setEnabled(ui_->DoFinal->isChecked());
  showFtpPageWhenChosen();
}

// FActionClick too
void TOptForm::showFtpPageWhenChosen() {
  ui_->pages->setTabVisible(
      ui_->pages->indexOf(ui_->ftpPage),
      ui_->DoFinal->isChecked() && ui_->FAction->currentIndex() == kFtpActionIndex);
}

// DoAnonymClick
void TOptForm::fillAnonymousLogOn() {
  const bool anonymous = ui_->DoAnonym->isChecked();
  ui_->user1->setEnabled(!anonymous);
  ui_->pass1->setEnabled(!anonymous);
  ui_->user1->setText(anonymous ? QStringLiteral("anonymous") : QString());
  ui_->pass1->setText(anonymous ? QLatin1String(settings::kAnonymousPassword) : QString());
}

// RadioButton1Click, RadioButton2Click
void TOptForm::enableFileSettingsWhenSavingToFile() {
  const bool toFile = ui_->RadioButton2->isChecked();
  for (QWidget* control : std::initializer_list<QWidget*>{
           ui_->pictureTypeLabel, ui_->PicType, ui_->fName1, ui_->CheckBox1, ui_->CheckBox2,
           ui_->fPath1, ui_->folderButton})
    control->setEnabled(toFile);
}

// JPGCompr1Change
void TOptForm::showJpegQuality() { ui_->jpegValue->setNum(ui_->JPGCompr1->value()); }

// PNGCompr1Change
void TOptForm::showPngLevel() { ui_->pngValue->setNum(ui_->PNGCompr1->value()); }

// The desktop's font, made smaller only as far as the longest caption needs.
void TOptForm::fitFontToCaptions() {
  QFont f = font();
  if (f.pointSizeF() <= 0) return;  // a pixel-sized desktop font: kept as it is
  while (!captionsFit(*this) && f.pointSizeF() - 0.5 >= kSmallestPointSize) {
    f.setPointSizeF(f.pointSizeF() - 0.5);
    setFont(f);
  }
}

void TOptForm::centreOnPrimaryScreen() {
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

}  // namespace lumivex::options
