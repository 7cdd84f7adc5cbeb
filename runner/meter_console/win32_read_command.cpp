#include "runner/meter_console/win32_read_command.h"

#include <windows.h>

#include <memory>
#include <variant>

#include "channels/event_sink.h"
#include "runner/meter/miernik.h"
#include "runner/meter/ui_task_queue.h"
#include "runner/meter/win32_ui_wake_up.h"
#include "runner/meter_console/read_session.h"
#include "runner/meter_console/win32_console_control.h"
#include "runner/meter_console/win32_local_time.h"
#include "runner/win32_unique_handle.h"

namespace meter_console {

namespace {

constexpr wchar_t kWindowClass[] = L"LUMERO_METER_CONSOLE_WINDOW";

struct WindowTraits {
  using Type = HWND;
  static Type Invalid() { return nullptr; }
  static void Close(Type window) { DestroyWindow(window); }
};
using UniqueWindow = UniqueHandle<WindowTraits>;

LRESULT CALLBACK TaskWindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // Every message goes to the task queue first, as in the host window.
  if (meter_link::RunQueuedTasks(message)) return 0;
  return DefWindowProcW(window, message, wparam, lparam);
}

// A message-only window: it receives posted messages and is never shown.
UniqueWindow CreateTaskWindow() {
  static const ATOM windowClass = [] {
    WNDCLASSW description{};
    description.lpfnWndProc = TaskWindowProcedure;
    description.hInstance = GetModuleHandleW(nullptr);
    description.lpszClassName = kWindowClass;
    return RegisterClassW(&description);
  }();
  if (windowClass == 0) return UniqueWindow();
  return UniqueWindow(CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr));
}

// While alive, the meter's events are delivered to window's thread; afterwards tasks still
// queued are dropped unrun.
class TaskQueueTarget {
 public:
  explicit TaskQueueTarget(HWND window) {
    meter_link::SetUiTaskWindow(window, meter_link::Win32UiWakeUp());
  }
  ~TaskQueueTarget() { meter_link::ClearUiTaskWindow(); }
  TaskQueueTarget(const TaskQueueTarget&) = delete;
  TaskQueueTarget& operator=(const TaskQueueTarget&) = delete;
};

// The meter's sink: hands every event map to the session, on the loop's thread.
class SessionSink final : public meter_link::Miernik::Sink {
 public:
  explicit SessionSink(ReadSession& receiver) : session(receiver) {}

 protected:
  void SuccessInternal(const flutter::EncodableValue* event) override {
    const auto* map = event != nullptr ? std::get_if<flutter::EncodableMap>(event) : nullptr;
    if (map != nullptr) session.OnEvent(*map);
  }
  // The meter link sends events only through Success.
  void ErrorInternal(const std::string&, const std::string&,
                     const flutter::EncodableValue*) override {}
  void EndOfStreamInternal() override {}

 private:
  ReadSession& session;
};

void RunLoopUntilEnded(ReadSession& session, HWND window) {
  MSG message;
  while (!session.Ended() && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == window && message.message == kInterruptMessage) {
      session.Interrupt();
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

ReadOutcome RunReadCommand(const ConsoleCommand& command, ConsoleOutput& output) {
  ReadSession session(command, output, LocalTimeOfUtcMilliseconds);
  const UniqueWindow window = CreateTaskWindow();
  if (!window) {
    session.Fail("nie mogę utworzyć okna komunikatów (błąd " + std::to_string(GetLastError()) +
                 ")");
    return {session.Finish(), session.Summary()};
  }
  const TaskQueueTarget queueTarget(window.get());
  const ConsoleInterruptRoute interruptRoute(window.get());
  const std::shared_ptr<meter_link::Miernik> meter = meter_link::Miernik::Create(nullptr);
  meter->ReplaceSink(std::make_unique<SessionSink>(session));
  session.Begin();
  if (!meter->Start()) session.ExpectNoCable();
  RunLoopUntilEnded(session, window.get());
  // The port is closed before the tool says it has ended.
  meter->Stop();
  meter->ReplaceSink(nullptr);
  return {session.Finish(), session.Summary()};
}

}  // namespace meter_console
