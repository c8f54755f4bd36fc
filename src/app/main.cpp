// Lumivex: a screenshot utility that lives in the tray. Its command line: app/CommandLine.h.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/CommandLine.h"
#include "app/ErrorReporter.h"
#include "app/SingleInstance.h"
#include "app/THidForm.h"
#include "platform/QuitSignals.h"
#include "platform/UserEnvironment.h"
#include "settings/LanguageFile.h"

namespace {

// Qt cannot carry an exception through its event dispatch: stop it here and show it.
class LumivexApplication : public QApplication {
 public:
  LumivexApplication(int& argc, char** argv, lumivex::ErrorReporter& errors)
      : QApplication(argc, argv), errors_(errors) {}

  bool notify(QObject* receiver, QEvent* event) override {
    bool handled = false;
    lumivex::guarded(errors_, [&] { handled = QApplication::notify(receiver, event); });
    return handled;
  }

 private:
  lumivex::ErrorReporter& errors_;
};

}  // namespace

int main(int argc, char** argv) {
  // Help, version and wrong arguments are answered before any display or bus is touched.
  const lumivex::CommandLine commandLine = lumivex::parseCommandLine(argc, argv);
  if (auto status = lumivex::answerWithoutGui(commandLine, stdout, stderr)) return *status;
  // Global hotkeys and screen grabs are X11 services: on a Wayland session run through XWayland.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  lumivex::MessageBoxErrorReporter errors;
  LumivexApplication app(argc, argv, errors);
  QApplication::setApplicationName(QStringLiteral("Lumivex"));
  QApplication::setApplicationDisplayName(QStringLiteral("Lumivex"));
  QApplication::setQuitOnLastWindowClosed(false);
  // Key and modifier names in the desktop's language (hotkey texts, message box buttons).
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);

  lumivex::SingleInstance instance;
  if (!instance.claim()) return 0;
  lumivex::platform::quitOnTerminationSignals();

  lumivex::platform::SystemUserEnvironment environment;
  QString languageFile =
      QApplication::applicationDirPath() + '/' + QLatin1String(lumivex::kLanguageFileName);
  lumivex::THidForm form({environment, errors, languageFile});
  instance.onShowOptions = [&] { lumivex::guarded(errors, [&] { form.cti1DblClick(); }); };
  return QApplication::exec();
}
