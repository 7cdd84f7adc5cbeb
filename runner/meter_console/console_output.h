#pragma once

#include <string>

namespace meter_console {

// Where the tool's lines go. Lines are UTF-8 and carry no line break of their own. Standard
// output holds only what a script may want to keep (readings, the port list, the help);
// everything else goes to standard error.
class ConsoleOutput {
 public:
  virtual ~ConsoleOutput() = default;
  virtual void Out(const std::string& line) = 0;
  virtual void Err(const std::string& line) = 0;
};

}  // namespace meter_console
