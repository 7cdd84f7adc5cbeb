#include "runner/meter_console/console_arguments.h"

#include <utility>

namespace meter_console {

namespace {

// About 31 years of readings at one a second; more is a typing error.
constexpr uint32_t kMaxCount = 1000000000;
constexpr char kCountPrefix[] = "--count=";
constexpr char kFolderPrefix[] = "--to=";

bool StartsWith(const std::string& text, const char* prefix, size_t prefixSize) {
  return text.compare(0, prefixSize - 1, prefix) == 0;
}

bool IsHelpOption(const std::string& argument) {
  return argument == "--help" || argument == "-h" || argument == "/?";
}

ParsedArguments Refused(std::string error) {
  ParsedArguments parsed;
  parsed.error = std::move(error);
  return parsed;
}

// Decimal digits only, no sign, within 1..kMaxCount.
bool ParseCount(const std::string& text, uint32_t* count) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t value = 0;
  for (const char digit : text) {
    if (digit < '0' || digit > '9') return false;
    value = value * 10 + static_cast<uint64_t>(digit - '0');
  }
  if (value < 1 || value > kMaxCount) return false;
  *count = static_cast<uint32_t>(value);
  return true;
}

ParsedArguments ParseReadOptions(const std::vector<std::string>& arguments) {
  ParsedArguments parsed;
  parsed.ok = true;
  parsed.command.kind = ConsoleCommandKind::kRead;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "--csv") {
      parsed.command.csv = true;
      continue;
    }
    std::string value;
    if (option == "--count") {
      if (i + 1 == arguments.size()) return Refused("--count wymaga liczby odczytów");
      value = arguments[++i];
    } else if (StartsWith(option, kCountPrefix, sizeof kCountPrefix)) {
      value = option.substr(sizeof kCountPrefix - 1);
    } else {
      return Refused("nieznana opcja: " + option);
    }
    if (!ParseCount(value, &parsed.command.count)) {
      return Refused("niepoprawna liczba odczytów: \"" + value + "\" (dozwolone od 1 do " +
                     std::to_string(kMaxCount) + ")");
    }
  }
  return parsed;
}

ParsedArguments ParseReportOptions(const std::vector<std::string>& arguments) {
  ParsedArguments parsed;
  parsed.ok = true;
  parsed.command.kind = ConsoleCommandKind::kReport;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "--to") {
      if (i + 1 == arguments.size()) return Refused("--to wymaga folderu");
      parsed.command.reportFolder = arguments[++i];
    } else if (StartsWith(option, kFolderPrefix, sizeof kFolderPrefix)) {
      parsed.command.reportFolder = option.substr(sizeof kFolderPrefix - 1);
    } else {
      return Refused("nieznana opcja: " + option);
    }
    if (parsed.command.reportFolder.empty()) return Refused("--to wymaga folderu");
  }
  return parsed;
}

// Control characters (a line break in an argument) would split the log line.
std::string OneLine(std::string text) {
  for (char& character : text)
    if (static_cast<unsigned char>(character) < 0x20 || character == 0x7F) character = '?';
  return text;
}

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (IsHelpOption(argument)) {
      ParsedArguments help;
      help.ok = true;
      return help;
    }
  }
  if (arguments.empty()) return Refused("brak polecenia (ports, read albo report)");
  const std::string& name = arguments.front();
  if (name == "read") return ParseReadOptions(arguments);
  if (name == "report") return ParseReportOptions(arguments);
  if (name != "ports") return Refused("nieznane polecenie: " + name);
  if (arguments.size() > 1) return Refused("polecenie ports nie ma opcji: " + arguments[1]);
  ParsedArguments parsed;
  parsed.ok = true;
  parsed.command.kind = ConsoleCommandKind::kPorts;
  return parsed;
}

std::string DescribeCommand(const ConsoleCommand& command) {
  switch (command.kind) {
    case ConsoleCommandKind::kHelp:
      return "--help";
    case ConsoleCommandKind::kPorts:
      return "ports";
    case ConsoleCommandKind::kReport:
      return command.reportFolder.empty() ? "report"
                                          : "report --to " + OneLine(command.reportFolder);
    case ConsoleCommandKind::kRead:
      break;
  }
  std::string text = "read";
  if (command.count != 0) text += " --count " + std::to_string(command.count);
  if (command.csv) text += " --csv";
  return text;
}

}  // namespace meter_console
