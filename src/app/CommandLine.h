// The command line: Lumivex itself is configured through its options dialog, so the command
// line asks for help or the version, or asks the running Lumivex for what one of its hotkeys
// or its options menu item does (desktops whose keys Lumivex cannot grab bind these commands).
// Qt's own options (-display, -session a session manager adds when it restarts the program,
// ...) are left for QApplication.
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "settings/CaptureCommands.h"

namespace lumivex {

// The captures a start can ask for, one per hotkey: `--capture KIND` and the D-Bus method
// Capture take the words of the command table.
using settings::CaptureKind;
using settings::captureKindNamed;
using settings::kCaptureKindList;

struct CommandLine {
  enum class Request { Run, Help, Version, Invalid, Capture, Options, Quit };
  Request request = Request::Run;
  CaptureKind capture = CaptureKind::Screen;  // Capture: which one
  std::string invalidArgument;                // Invalid: the first argument that was not understood
  std::string invalidReason;  // Invalid: the whole message, when more than "unknown option"
};

// Reads the arguments after the program name, first to last; help, version or a wrong
// argument ends the reading. One of --capture, --options and --quit at most.
CommandLine parseCommandLine(std::span<const char* const> arguments);
CommandLine parseCommandLine(int argc, const char* const* argv);

// For a request answered without the GUI: prints the answer (help and version to `out`, an
// error to `err`) and gives the exit status: 0, or 2 for a wrong argument. Nothing for the
// requests that need the desktop (Run, Capture, Options, Quit).
std::optional<int> answerWithoutGui(const CommandLine& line, std::FILE* out, std::FILE* err);

}  // namespace lumivex
