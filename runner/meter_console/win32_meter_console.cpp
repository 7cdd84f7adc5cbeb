#include "runner/meter_console/win32_meter_console.h"

#include <exception>

#include "runner/diagnostics/native_log.h"
#include "runner/meter_console/console_arguments.h"
#include "runner/meter_console/console_exit_codes.h"
#include "runner/meter_console/help_text.h"
#include "runner/meter_console/win32_ports_command.h"
#include "runner/meter_console/win32_read_command.h"
#include "runner/meter_console/win32_report_command.h"

namespace meter_console {

namespace {

// Runs the parsed command; detail receives what the end line adds to the exit status.
int RunCommand(const ConsoleCommand& command, ConsoleOutput& output, std::string* detail) {
  switch (command.kind) {
    case ConsoleCommandKind::kHelp:
      for (const std::string& line : HelpLines()) output.Out(line);
      return kExitOk;
    case ConsoleCommandKind::kPorts:
      return RunPortsCommand(output);
    case ConsoleCommandKind::kReport: {
      const ReportOutcome report = RunReportCommand(command, output);
      if (!report.archivePath.empty()) *detail = " (archiwum " + report.archivePath + ")";
      return report.exitStatus;
    }
    case ConsoleCommandKind::kRead:
      break;
  }
  const ReadOutcome outcome = RunReadCommand(command, output);
  *detail = " (" + outcome.summary + ")";
  return outcome.exitStatus;
}

}  // namespace

int RunMeterConsole(const std::vector<std::string>& arguments, ConsoleOutput& output) {
  const ParsedArguments parsed = ParseArguments(arguments);
  // The command as parsed, never the raw arguments: a log line stays one line.
  LogMessage(("konsola: start lumero-meter " +
              (parsed.ok ? DescribeCommand(parsed.command) : std::string("(błędne wywołanie)")))
                 .c_str());
  int status = kExitUsage;
  std::string detail;
  if (!parsed.ok) {
    output.Err("lumero-meter: " + parsed.error);
    output.Err("Pomoc: lumero-meter --help");
  } else {
    try {
      status = RunCommand(parsed.command, output, &detail);
    } catch (const std::exception& error) {
      // For example a thread the system refused to create.
      output.Err(std::string("lumero-meter: błąd wewnętrzny: ") + error.what());
      status = kExitError;
    }
  }
  LogMessage(("konsola: koniec lumero-meter, kod " + std::to_string(status) + detail).c_str());
  return status;
}

}  // namespace meter_console
