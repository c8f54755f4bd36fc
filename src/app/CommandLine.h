// The command line: Lumivex itself is configured through its options dialog, so the command
// line only asks for help or the version. Qt's own options (-display, -session a session
// manager adds when it restarts the program, ...) are left for QApplication.
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string>

namespace lumivex {

struct CommandLine {
  enum class Request { Run, Help, Version, Invalid };
  Request request = Request::Run;
  std::string invalidArgument;  // Invalid: the first argument that was not understood
};

// Reads the arguments after the program name, first to last; help, version or a wrong
// argument ends the reading.
CommandLine parseCommandLine(std::span<const char* const> arguments);
CommandLine parseCommandLine(int argc, const char* const* argv);

// For a request answered without the GUI: prints the answer (help and version to `out`, an
// error to `err`) and gives the exit status: 0, or 2 for a wrong argument. Nothing for Run.
std::optional<int> answerWithoutGui(const CommandLine& line, std::FILE* out, std::FILE* err);

}  // namespace lumivex
