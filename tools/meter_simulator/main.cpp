// Simulated Sonel light meter on a CP2102 cable for a Wine prefix. See the README section
// "Meter simulator" for the options and the control protocol.
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tools/meter_simulator/simulator.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) { gStop = 1; }

const char kUsage[] =
    "usage: meter_simulator --prefix WINEPREFIX [--com N] [--instance NAME] [--control-port P]\n"
    "                       [--ready-file FILE] [--wine PROGRAM] [--no-registry] [--verbose]\n";

bool ParseArguments(int argc, char** argv, SimulatorOptions* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--prefix" && hasValue) {
      options->device.prefix = argv[++i];
    } else if (arg == "--com" && hasValue) {
      options->device.comNumber = std::atoi(argv[++i]);
    } else if (arg == "--instance" && hasValue) {
      options->device.instance = argv[++i];
    } else if (arg == "--control-port" && hasValue) {
      options->controlPort = std::atoi(argv[++i]);
    } else if (arg == "--ready-file" && hasValue) {
      options->readyFile = argv[++i];
    } else if (arg == "--wine" && hasValue) {
      options->device.wine = argv[++i];
    } else if (arg == "--no-registry") {
      options->device.registry = false;
    } else if (arg == "--verbose") {
      options->verbose = true;
    } else {
      return false;
    }
  }
  return !options->device.prefix.empty() && options->device.comNumber >= 1 &&
         options->device.comNumber <= 256 && options->controlPort >= 0 &&
         options->controlPort <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
  SimulatorOptions options;
  if (!ParseArguments(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  // Wine insists on an absolute prefix.
  char* absolute = realpath(options.device.prefix.c_str(), nullptr);
  if (absolute == nullptr) {
    std::fprintf(stderr, "meter_simulator: no prefix folder %s\n", options.device.prefix.c_str());
    return 2;
  }
  options.device.prefix = absolute;
  std::free(absolute);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  // The signals stay blocked except while the loop waits, so none is lost between checks.
  sigset_t blocked, waitMask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGHUP);
  sigprocmask(SIG_BLOCK, &blocked, &waitMask);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  // Ends with the process that started it, cleaning up as on SIGTERM, even when that one is
  // killed outright (a test wrapper at a CTest time-out). The second look covers a parent that
  // went before the request was made.
  const pid_t parent = getppid();
  if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) gStop = 1;
  try {
    Simulator simulator(options);
    simulator.Run(&gStop, waitMask);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "meter_simulator: %s\n", e.what());
    return 1;
  }
  std::printf("stopped\n");
  return 0;
}
