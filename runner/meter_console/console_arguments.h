#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace meter_console {

enum class ConsoleCommandKind { kHelp, kPorts, kRead, kReport };

struct ConsoleCommand {
  ConsoleCommandKind kind = ConsoleCommandKind::kHelp;
  // read: the readings to take before ending; 0 means until Ctrl-C or an error.
  uint32_t count = 0;
  // read: comma-separated columns under one header line.
  bool csv = false;
  // report: the folder for the archive (UTF-8); empty means the user's Desktop.
  std::string reportFolder;
};

struct ParsedArguments {
  bool ok = false;
  ConsoleCommand command;
  // Why the command line was refused, in Polish, for the user.
  std::string error;
};

// The arguments after the program name (UTF-8). A help option anywhere wins over everything else.
ParsedArguments ParseArguments(const std::vector<std::string>& arguments);

// The command as the log names it, for example "read --count 3 --csv"; always one line.
std::string DescribeCommand(const ConsoleCommand& command);

}  // namespace meter_console
