#pragma once

#include <windows.h>

// Test support only: what the top-level window's base handling calls for the messages it leaves
// to the default window procedure (DefWindowProcW unless replaced). Returns the previous one.
using DefaultWindowProcedure = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
DefaultWindowProcedure SetDefaultWindowProcedureForTesting(DefaultWindowProcedure procedure);
