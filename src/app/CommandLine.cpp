#include "app/CommandLine.h"

#include <cstdio>
#include <string_view>

#include "base/Version.h"

namespace lumivex {

namespace {

// QApplication's options (one or two leading dashes), which it takes out of argv itself.
// Blank-separated, with a blank at each end.
constexpr std::string_view kQtOptionsWithValue =
    " platform platformpluginpath platformtheme plugin qwindowgeometry qwindowicon qwindowtitle"
    " geometry title icon session display name style stylesheet ";
constexpr std::string_view kQtFlags = " reverse nograb dograb sync widgetcount ";

bool listed(std::string_view names, std::string_view name) {
  return !name.empty() && name.find(' ') == std::string_view::npos &&
         names.find(' ' + std::string(name) + ' ') != std::string_view::npos;
}

// The option's name without its one or two leading dashes; empty for a plain argument.
std::string_view qtOptionName(std::string_view argument) {
  if (!argument.starts_with('-')) return {};
  argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
  return argument;
}

constexpr const char* kUsage =
    "Usage: lumivex [--capture KIND | --options | --quit | --help | --version]\n"
    "\n"
    "A screenshot utility that lives in the tray. Started without options, Lumivex shows its\n"
    "tray icon and waits for its hotkeys; started while it already runs, it opens the running\n"
    "one's options dialog instead.\n"
    "\n"
    "Options:\n"
    "  --capture KIND  have the running Lumivex do what a capture hotkey does, and exit;\n"
    "                  KIND is screen, area, window, timed (starts or stops a timed\n"
    "                  capture) or toggle-mode (switches between files and the clipboard)\n"
    "  --options       have the running Lumivex open its options dialog, and exit\n"
    "                  (when Lumivex does not run yet, both start it first and stay)\n"
    "  --quit          have the running Lumivex end (as its tray menu's Exit does)\n"
    "  -h, --help      show this help and exit\n"
    "  -V, --version   show the version and exit\n"
    "Qt's own options (-display, -platform, -style, ...) are accepted too.\n"
    "\n"
    "Default hotkeys (the options dialog changes them):\n"
    "  Shift+F1   capture the whole screen\n"
    "  Shift+F2   capture an area dragged out on the frozen screen\n"
    "  Shift+F3   capture the active window\n"
    "  Shift+F4   start or stop a timed capture, saved as one animated GIF\n"
    "  Ctrl+F5    switch between saving files and copying to the clipboard\n"
    "\n"
    "Files:\n"
    "  $XDG_CONFIG_HOME/Quorlan Software/Vistrel.conf\n"
    "      the settings ($XDG_CONFIG_HOME is ~/.config when unset)\n"
    "  $XDG_CONFIG_HOME/autostart/com.quorlan.Lumivex.desktop\n"
    "      the entry that starts Lumivex at log-in (set in the options dialog)\n"
    "  lang.txt beside the lumivex executable\n"
    "      translated texts (an Italian one comes with the documentation)\n"
    "\n"
    "Exit status: 0 when done, 1 when the running Lumivex did not answer, 2 for a wrong\n"
    "argument.\n"
    "\n"
    "See lumivex(1) and lumivex-ftp(1).\n";

constexpr std::string_view kCaptureOption = "--capture";

CommandLine invalid(std::string_view argument, std::string reason = {}) {
  CommandLine line;
  line.request = CommandLine::Request::Invalid;
  line.invalidArgument = argument;
  line.invalidReason = std::move(reason);
  return line;
}

// The word of "--capture KIND" or "--capture=KIND"; `i` moves past a separate word.
std::optional<std::string_view> captureWord(std::span<const char* const> arguments,
                                            std::size_t& i) {
  const std::string_view argument = arguments[i];
  if (argument.size() > kCaptureOption.size()) return argument.substr(kCaptureOption.size() + 1);
  if (i + 1 >= arguments.size()) return std::nullopt;
  return arguments[++i];
}

// --options, --quit, or --capture with its kind (after it or after '='); `i` moves past a separate
// kind.
CommandLine readInstanceRequest(std::span<const char* const> arguments, std::size_t& i) {
  CommandLine line;
  const std::string_view argument = arguments[i];
  if (argument == "--options" || argument == "--quit") {
    line.request =
        argument == "--quit" ? CommandLine::Request::Quit : CommandLine::Request::Options;
    return line;
  }
  const std::optional<std::string_view> word = captureWord(arguments, i);
  if (!word)
    return invalid(argument, std::string("option '--capture' needs a kind: ") + kCaptureKindList);
  const std::optional<CaptureKind> kind = captureKindNamed(*word);
  if (!kind)
    return invalid(*word,
                   "unknown capture kind '" + std::string(*word) + "' (" + kCaptureKindList + ')');
  line.request = CommandLine::Request::Capture;
  line.capture = *kind;
  return line;
}

}  // namespace

CommandLine parseCommandLine(std::span<const char* const> arguments) {
  CommandLine line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    const std::string_view qtName = qtOptionName(argument);
    if (listed(kQtOptionsWithValue, qtName) && i + 1 < arguments.size()) {
      ++i;
    } else if (listed(kQtFlags, qtName)) {
      continue;
    } else if (argument == "-h" || argument == "--help") {
      line.request = CommandLine::Request::Help;
      return line;
    } else if (argument == "-V" || argument == "--version") {
      line.request = CommandLine::Request::Version;
      return line;
    } else if (argument == kCaptureOption || argument.starts_with("--capture=") ||
               argument == "--options" || argument == "--quit") {
      if (line.request != CommandLine::Request::Run)
        return invalid(argument, "only one of --capture, --options and --quit may be given");
      line = readInstanceRequest(arguments, i);
      if (line.request == CommandLine::Request::Invalid) return line;
    } else {
      return invalid(argument);
    }
  }
  return line;
}

CommandLine parseCommandLine(int argc, const char* const* argv) {
  if (argc < 1) return {};
  return parseCommandLine(std::span(argv + 1, static_cast<std::size_t>(argc - 1)));
}

std::optional<int> answerWithoutGui(const CommandLine& line, std::FILE* out, std::FILE* err) {
  switch (line.request) {
    case CommandLine::Request::Run:
    case CommandLine::Request::Capture:
    case CommandLine::Request::Options:
    case CommandLine::Request::Quit:
      return std::nullopt;
    case CommandLine::Request::Help:
      std::fputs(kUsage, out);
      return 0;
    case CommandLine::Request::Version:
      std::fprintf(out, "lumivex %s\n", kVersion);
      return 0;
    case CommandLine::Request::Invalid: {
      std::string reason = line.invalidReason;
      if (reason.empty())
        reason =
            (line.invalidArgument.starts_with('-') ? "unknown option '" : "unexpected argument '") +
            line.invalidArgument + '\'';
      std::fprintf(err, "lumivex: %s\nTry 'lumivex --help' for more information.\n",
                   reason.c_str());
      return 2;
    }
  }
  return std::nullopt;
}

}  // namespace lumivex
