#pragma once

namespace meter_console {

// Exit statuses of lumero-meter; support scripts and the help page rely on them.
constexpr int kExitOk = 0;
// The meter link reported an error: a pulled cable, a port held by another program, ...
constexpr int kExitError = 1;
// No CP2102 cable found.
constexpr int kExitNoCable = 2;
// A bad command line (EX_USAGE of sysexits).
constexpr int kExitUsage = 64;
// Ctrl-C or Ctrl-Break, as shells report an interrupted program.
constexpr int kExitInterrupted = 130;

}  // namespace meter_console
