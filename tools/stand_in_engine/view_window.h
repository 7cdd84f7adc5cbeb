#pragma once

// The engine's view window: it paints the view model of its engine, which is fed from the
// messenger as the host sends events and answers calls.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "tools/stand_in_engine/state.h"

namespace stand_in {

// The view's window procedure; the view is created with its engine as the creation parameter.
LRESULT CALLBACK ViewWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// With State::mutex held: the host sent a message through the engine's messenger.
void ShowHostMessage(FlutterDesktopEngine* engine, const HostMessage& message);
// With State::mutex held: the host answered the interface side's message.
void ShowReply(State& state, const IncomingMessage& message);

}  // namespace stand_in
