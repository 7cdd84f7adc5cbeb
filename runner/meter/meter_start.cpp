// Start of one acquisition run, on the UI thread.

#include <memory>
#include <string>
#include <vector>

#include "runner/diagnostics/native_log.h"
#include "runner/meter/miernik.h"

namespace meter_link {

namespace {

// Clears a flag when the scope is left by an exception, unless dismissed first.
class ClearOnFailure {
 public:
  explicit ClearOnFailure(std::atomic<bool>& flag) : flag(flag) {}
  ~ClearOnFailure() {
    if (armed) flag.exchange(false);
  }
  ClearOnFailure(const ClearOnFailure&) = delete;
  ClearOnFailure& operator=(const ClearOnFailure&) = delete;
  void Dismiss() { armed = false; }

 private:
  std::atomic<bool>& flag;
  bool armed = true;
};

}  // namespace

bool Miernik::Start() {
  LogMessage("start: wejście");
  if (running.load()) {
    LogMessage("start: już działa");
    return true;
  }
  // An earlier run that ended on its own (or is just ending) is collected first.
  if (thread.joinable()) thread.join();

  const std::vector<MeterPort> ports = platform.FindMeterPorts();
  LogMessage(("start: portów=" + std::to_string(ports.size())).c_str());
  if (ports.empty()) {
    EmitText("Nie widzę miernika Sonel na USB");
    PostState();
    return false;
  }
  portPath = ports.front().path;
  portName = ports.front().name;

  stopRequested.exchange(false);
  running.exchange(true);
  // Without a thread nothing would ever clear running, and every later start would report a
  // run that does not exist.
  ClearOnFailure clearRunning(running);
  std::shared_ptr<Miernik> self = shared_from_this();
  thread = platform.StartThread([self]() mutable {
    self->AcquisitionLoop();
    // The thread's reference goes as soon as the loop returns; if it is the last one, the meter
    // is destroyed here, on this thread.
    self.reset();
  });
  clearRunning.Dismiss();
  self.reset();
  LogMessage("start: wątek uruchomiony");
  return true;
}

}  // namespace meter_link
