// The command line, parsed and answered by the real executable without a display or a bus.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <string>
#include <utility>
#include <vector>

#include "app/CommandLine.h"

using namespace lumivex;
using Request = CommandLine::Request;

namespace {

CommandLine parse(std::vector<const char*> arguments) { return parseCommandLine(arguments); }

TEST(CommandLine, ReadsFirstToLastAndLeavesQtOptionsToQt) {
  EXPECT_EQ(parse({}).request, Request::Run);
  EXPECT_EQ(parse({"--help"}).request, Request::Help);
  EXPECT_EQ(parse({"-V", "--help"}).request, Request::Version);
  EXPECT_EQ(parse({"--help", "--bogus"}).request, Request::Help);
  // A session manager restarts a Qt program with "-session ID"; X11 users pass -display.
  EXPECT_EQ(parse({"-session", "10d2e7", "-display", ":1", "-reverse"}).request, Request::Run);
  EXPECT_EQ(parse({"--platform", "xcb", "--version"}).request, Request::Version);
  // An option's value is not read as an option of ours.
  EXPECT_EQ(parse({"-title", "--help"}).request, Request::Run);

  const CommandLine unknown = parse({"-display", ":1", "--shot", "screen"});
  EXPECT_EQ(unknown.request, Request::Invalid);
  EXPECT_EQ(unknown.invalidArgument, "--shot");
  EXPECT_EQ(parse({"picture.png"}).invalidArgument, "picture.png");
  EXPECT_EQ(parse({"-display"}).invalidArgument, "-display") << "a Qt option without its value";
}

TEST(CommandLine, CaptureAndOptionsAskTheInstanceForOneThing) {
  const std::pair<const char*, CaptureKind> kinds[] = {{"screen", CaptureKind::Screen},
                                                       {"area", CaptureKind::Area},
                                                       {"window", CaptureKind::Window},
                                                       {"timed", CaptureKind::Timed},
                                                       {"toggle-mode", CaptureKind::ToggleMode}};
  for (const auto& [word, kind] : kinds) {
    const CommandLine separate = parse({"-display", ":1", "--capture", word});
    EXPECT_EQ(separate.request, Request::Capture) << word;
    EXPECT_EQ(separate.capture, kind) << word;
    const std::string joined = std::string("--capture=") + word;
    EXPECT_EQ(parse({joined.c_str()}).capture, kind) << joined;
  }
  EXPECT_EQ(parse({"--options"}).request, Request::Options);
  EXPECT_EQ(parse({"--quit"}).request, Request::Quit);
  EXPECT_EQ(parse({"--capture", "area", "--help"}).request, Request::Help);

  for (const std::vector<const char*>& wrong : {std::vector<const char*>{"--capture"},
                                                {"--capture", "Screen"},
                                                {"--capture="},
                                                {"--capture", "area", "--options"},
                                                {"--options", "--options"},
                                                {"--quit", "--capture", "area"}})
    EXPECT_EQ(parse(wrong).request, Request::Invalid) << wrong.back();
}

struct Answer {
  int status = -1;
  QString out, err;
};

// The executable with no display, no session bus and the X11 platform: had it started its GUI
// or asked for the single-instance name, it could not have ended normally with status 0.
Answer runWithoutDesktop(const QStringList& arguments) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
    environment.remove(name);
  environment.insert("QT_QPA_PLATFORM", "xcb");
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(LUMIVEX_EXE), arguments);
  if (!process.waitForFinished(20000)) process.kill();
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

TEST(CommandLine, ExecutableAnswersHelpVersionAndWrongArgumentsWithoutItsGui) {
  const Answer help = runWithoutDesktop({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.startsWith("Usage: lumivex")) << help.out.toStdString();
  for (const char* hotkey : {"Shift+F1", "Shift+F2", "Shift+F3", "Shift+F4", "Ctrl+F5"})
    EXPECT_TRUE(help.out.contains(hotkey)) << hotkey;
  EXPECT_TRUE(help.out.contains("Quorlan Software/Vistrel.conf"));
  EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();

  const Answer version = runWithoutDesktop({"-V"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "lumivex " LUMIVEX_VERSION "\n");

  const Answer wrong = runWithoutDesktop({"--bogus"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_TRUE(wrong.out.isEmpty());
  EXPECT_EQ(wrong.err,
            "lumivex: unknown option '--bogus'\nTry 'lumivex --help' for more information.\n");

  // A kind that does not exist is refused before the bus is asked (there is none here).
  const Answer badKind = runWithoutDesktop({"--capture", "fullscreen"});
  EXPECT_EQ(badKind.status, 2);
  EXPECT_EQ(badKind.err,
            "lumivex: unknown capture kind 'fullscreen' (screen, area, window, timed or "
            "toggle-mode)\nTry 'lumivex --help' for more information.\n");
  EXPECT_TRUE(help.out.contains("--capture KIND")) << help.out.toStdString();
}

}  // namespace
