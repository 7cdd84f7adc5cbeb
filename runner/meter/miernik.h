#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "channels/encodable_value.h"
#include "runner/meter/meter_frame.h"
#include "runner/meter/meter_platform.h"

namespace flutter {
template <typename T>
class EventSink;
class FlutterEngine;
class StandardMethodCodec;
}  // namespace flutter

namespace meter_link {

// The one object that owns the link to the light meter: the chosen port, the acquisition thread
// with its flags, and the event sink towards the interface. Always owned through shared pointers.
class Miernik : public std::enable_shared_from_this<Miernik> {
  struct Token {};

 public:
  using Sink = flutter::EventSink<flutter::EncodableValue>;

  // Over the Win32 platform (Windows builds only).
  static std::shared_ptr<Miernik> Create(flutter::FlutterEngine* engine);
  // Over a given platform, which must outlive the meter.
  static std::shared_ptr<Miernik> Create(flutter::FlutterEngine* engine, MeterPlatform& platform);

  Miernik(Token, flutter::FlutterEngine* engine, MeterPlatform& platform);
  ~Miernik();
  Miernik(const Miernik&) = delete;
  Miernik& operator=(const Miernik&) = delete;

  // Controller: window thread.
  bool Start();
  void Stop();

  // Records the port that the next OpenPort opens (Start does this before the thread exists).
  void SelectPort(const MeterPort& port);

  // Port: acquisition thread.
  bool OpenPort(std::string* errorText);
  void ClosePort();

  // Body of the acquisition thread.
  void AcquisitionLoop();

  // Event delivery: Emit* and PostState on any thread, the task bodies on the window thread.
  void EmitMap(flutter::EncodableMap map);
  void EmitReading(const MeterReading& reading);
  void EmitText(const std::string& text);
  void PostState();
  void DeliverEvent(const flutter::EncodableMap& map);
  void SendState();

  // The event stream channel: installs or removes the handler of "lumerovantix/sonel" on the
  // engine's messenger (Detach also drops the sink); window thread.
  void AttachEventChannel();
  void DetachEventChannel();

  // Replaces (or with null clears) the event sink under sinkMutex; window thread.
  void ReplaceSink(std::unique_ptr<Sink> newSink);

  flutter::FlutterEngine* Engine() const { return engine; }
  const flutter::StandardMethodCodec* Codec() const { return codec; }
  MeterPlatform& Platform() const { return platform; }
  bool IsRunning() const { return running.load(); }
  bool IsStopRequested() const { return stopRequested.load(); }
  bool IsPortOpen() const { return portHandle != nullptr; }
  bool HasSink();

 private:
  flutter::FlutterEngine* engine;
  const flutter::StandardMethodCodec* codec;
  std::mutex sinkMutex;
  std::unique_ptr<Sink> sink;
  std::thread thread;
  std::atomic<bool> running{false};
  std::atomic<bool> stopRequested{false};
  std::wstring portPath;
  std::wstring portName;
  // The open port; null when closed.
  std::unique_ptr<SerialLine> portHandle;
  MeterPlatform& platform;
};

}  // namespace meter_link
