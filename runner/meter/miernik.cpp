// The meter controller's life: creation, Stop, destruction, the port and the sink slot.
#include "runner/meter/miernik.h"

#include <utility>

#include "channels/event_sink.h"
#include "channels/standard_method_codec.h"
#include "runner/wide_to_utf8.h"

namespace meter_link {

std::shared_ptr<Miernik> Miernik::Create(flutter::FlutterEngine* engine, MeterPlatform& platform) {
  return std::make_shared<Miernik>(Token{}, engine, platform);
}

Miernik::Miernik(Token, flutter::FlutterEngine* engine, MeterPlatform& platform)
    : engine(engine), codec(&flutter::StandardMethodCodec::GetInstance()), platform(platform) {}

Miernik::~Miernik() {
  Stop();
  portName.clear();
  portPath.clear();
  // No other reference exists any more, so the sink goes without the mutex.
  sink.reset();
}

void Miernik::Stop() {
  stopRequested.exchange(true);
  if (thread.joinable()) {
    // The last reference can fall on the acquisition thread itself: it cannot wait for itself.
    if (thread.get_id() == std::this_thread::get_id()) {
      thread.detach();
    } else {
      thread.join();
    }
  }
  ClosePort();
  running.exchange(false);
}

void Miernik::SelectPort(const MeterPort& port) {
  portPath = port.path;
  portName = port.name;
}

bool Miernik::OpenPort(std::string* errorText) {
  ClosePort();
  OpenFailureStage stage = OpenFailureStage::kOpen;
  uint32_t code = 0;
  std::unique_ptr<SerialLine> line = platform.OpenSerialLine(portPath, &stage, &code);
  if (!line) {
    if (errorText != nullptr) {
      *errorText =
          "Port " + WideToUtf8(portName) + ": " + WideToUtf8(platform.SystemErrorText(code));
      if (stage == OpenFailureStage::kOpen) {
        *errorText += " (czy nie jest zajęty przez inny program?)";
      }
    }
    return false;
  }
  portHandle = std::move(line);
  return true;
}

void Miernik::ClosePort() {
  if (!portHandle) return;
  // Marked closed first, then purged and closed.
  std::unique_ptr<SerialLine> line = std::move(portHandle);
  portHandle.reset();
  line->Purge();
}

void Miernik::ReplaceSink(std::unique_ptr<Sink> newSink) {
  std::lock_guard<std::mutex> lock(sinkMutex);
  // The old sink is destroyed here, still under the mutex.
  sink = std::move(newSink);
}

bool Miernik::HasSink() {
  std::lock_guard<std::mutex> lock(sinkMutex);
  return sink != nullptr;
}

}  // namespace meter_link
