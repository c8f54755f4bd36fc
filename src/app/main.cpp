// Lumivex: a screenshot utility that lives in the tray. Its command line: app/CommandLine.h.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "actions/ArchiveHandOff.h"
#include "app/CommandLine.h"
#include "app/ErrorReporter.h"
#include "app/THidForm.h"
#include "platform/AppIdentity.h"
#include "platform/DisplaySession.h"
#include "platform/QuitSignals.h"
#include "platform/UserEnvironment.h"
#include "platform/dbus/DesktopNoticeService.h"
#include "platform/dbus/SingleInstance.h"
#include "platform/posix/PosixLauncher.h"
#include "platform/qt/QtClock.h"
#include "platform/xdg/XdgAutostartEntry.h"
#include "settings/LanguageFile.h"

#include <cstdio>
#include <memory>

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

using lumivex::platform::SingleInstance;

// What a start asks of the single instance: a capture by its command-line word, or else its
// options dialog.
SingleInstance::Request instanceRequest(const lumivex::CommandLine& line) {
  if (line.request == lumivex::CommandLine::Request::Capture)
    return QString::fromLatin1(lumivex::settings::captureCommand(line.capture).word);
  return std::nullopt;
}

// The bus takes the same capture words as the command line.
SingleInstance::CaptureKinds captureKinds() {
  return {
      [](const QString& word) { return lumivex::captureKindNamed(word.toStdString()).has_value(); },
      QLatin1String(lumivex::kCaptureKindList)};
}

}  // namespace

int main(int argc, char** argv) {
  // Help, version and wrong arguments are answered before any display or bus is touched.
  const lumivex::CommandLine commandLine = lumivex::parseCommandLine(argc, argv);
  if (auto status = lumivex::answerWithoutGui(commandLine, stdout, stderr)) return *status;
  lumivex::platform::SettleHomeFolder();
  // X11's own services, or the desktop portal's on a Wayland session; the choice also decides
  // Qt's platform plugin, so it comes before the application object (the user's choice stands).
  const lumivex::platform::DisplayBackend backend = lumivex::platform::detectDisplayBackend();
  const char* qtPlatform = lumivex::platform::requiredQtPlatform(backend);
  if (qtPlatform && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", qtPlatform);
  lumivex::MessageBoxErrorReporter errors;
  LumivexApplication app(argc, argv, errors);
  QApplication::setApplicationName(QStringLiteral("Lumivex"));
  QApplication::setApplicationDisplayName(QStringLiteral("Lumivex"));
  QApplication::setQuitOnLastWindowClosed(false);
  // The Wayland app_id and the tray item's id: the desktop finds the installed entry by it.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(lumivex::platform::kAppId));
  // Key and modifier names in the desktop's language (hotkey texts, message box buttons).
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);

  SingleInstance instance(captureKinds());
  // Ends the running Lumivex and never starts one.
  if (commandLine.request == lumivex::CommandLine::Request::Quit) {
    if (instance.quitRunning()) return 0;
    std::fprintf(stderr, "lumivex: %s\n", qPrintable(instance.failure()));
    return 1;
  }
  switch (instance.claim(instanceRequest(commandLine))) {
    case SingleInstance::Claim::Owned:
      break;
    case SingleInstance::Claim::HandedOver:
      return 0;
    case SingleInstance::Claim::NoAnswer:
      std::fprintf(stderr, "lumivex: %s\n", qPrintable(instance.failure()));
      return 1;
  }
  lumivex::platform::quitOnTerminationSignals();

  // The platform services, chosen once for the whole run.
  lumivex::platform::SystemUserEnvironment environment;
  const lumivex::platform::PlatformServices desktop =
      lumivex::platform::createPlatformServices(backend);
  lumivex::platform::DesktopNoticeService notices;
  lumivex::platform::QtClock clock;

  QString languageFile =
      QApplication::applicationDirPath() + '/' + QLatin1String(lumivex::kLanguageFileName);
  lumivex::platform::PosixLauncher launcher;
  lumivex::platform::XdgAutostartEntry autostart(environment.configFolder(),
                                                 QApplication::applicationFilePath());
  lumivex::THidForm::Services services{
      environment, errors,          languageFile,   *desktop.hotkeys, notices,
      clock,       *desktop.screen, *desktop.sound, *desktop.pointer, autostart};
  services.launcher = &launcher;
  services.archiverPresent = [&launcher] { return lumivex::actions::ArchiverPresent(launcher); };
  lumivex::THidForm form(services);
  instance.onShowOptions = [&] { lumivex::guarded(errors, [&] { form.onTrayDoubleClick(); }); };
  instance.onQuit = [&] { form.onExitClicked(); };
  instance.onCapture = [&](const QString& word) {
    // Only words isCaptureKind accepted, or this start's own, get here.
    if (const auto kind = lumivex::captureKindNamed(word.toStdString()))
      lumivex::guarded(errors, [&] { form.RunCommand(*kind); });  // what its hotkey does
  };
  // A start with a request found no instance and became it: it now does what it was asked.
  if (commandLine.request != lumivex::CommandLine::Request::Run)
    instance.perform(instanceRequest(commandLine));
  return QApplication::exec();
}
