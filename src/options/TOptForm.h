// The options dialog: the user's only way to change a setting. One instance per opening; its
// form storage loads the stored controls when it is shown and saves them when it closes, by
// OK or by the close box alike (there is no cancel).
//
// The stored controls keep the names their settings are stored under (HotKey1, fName1, ...);
// tests and the form storage find them by those names.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>

#include "options/TFormStorage.h"
#include "platform/AutostartEntry.h"
#include "settings/SettingsFile.h"

namespace Ui {
class TOptForm;
}

namespace lumivex::options {

class TOptForm : public QDialog {
  Q_OBJECT

 public:
  struct Services {
    SettingsFile settings;  // the settings key the stored controls live in
    std::function<QString(int number, const QString& defaultText)> lookupText;
    std::function<QString(quint32 hotKey)> hotKeyText;  // how a hotkey field reads
    QString desktopFolder;                              // default output folder
    // True when the after-capture actions find 7-Zip: the two archive actions are offered.
    std::function<bool()> archiverPresent;
    platform::AutostartEntry& autostart;
    std::function<void(const QString&)> showError;  // the standard error box
  };

  explicit TOptForm(Services services, QWidget* parent = nullptr);
  ~TOptForm() override;

  // The smallest font size the captions may be shrunk to before they are allowed to clip.
  static constexpr qreal kSmallestPointSize = 7.0;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  void acceptAndClose();                         // Button1Click: "OK"
  void chooseFolder();                           // SpeedButton1Click
  void applyStartWithDesktop();                  // CheckBox6Click
  void refuseSlashInName(const QString& typed);  // fName1: the base name
  void enableFinalActionChoice();                // DoFinalClick
  void fillAnonymousLogOn();                     // DoAnonymClick
  void enableFileSettingsWhenSavingToFile();     // RadioButton1Click, RadioButton2Click
  void showJpegQuality();                        // JPGCompr1Change
  void showPngLevel();                           // PNGCompr1Change

  void localise();
  void fillLists();
  void connectReactions();
  void showFtpPageWhenChosen();
  void fitFontToCaptions();
  void centreOnPrimaryScreen();
  QString text(int number, const QString& defaultText) const;
  // A text of the language table, its built-in default where the language file has none.
  QString text(int number) const;

  std::unique_ptr<Ui::TOptForm> ui_;
  Services services_;
  QString folderPickerTitle_, folderPickerHint_;  // strings 610 and 620
  TFormStorage formStorage_;                      // fs1
};

// True when every group's captions and controls fit the group at the dialog's current font.
bool captionsFit(const QWidget& dialog);

}  // namespace lumivex::options
