#pragma once

#include "runner/meter_console/console_output.h"

namespace meter_console {

// The process's standard output and error. To a console each line goes as UTF-16, so Polish
// letters show whatever the console's code page; to a file or a pipe as UTF-8 ended by CR LF.
class Win32ConsoleOutput final : public ConsoleOutput {
 public:
  void Out(const std::string& line) override;
  void Err(const std::string& line) override;
};

}  // namespace meter_console
