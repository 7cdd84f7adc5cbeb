#pragma once

#include <windows.h>

// Test support only: what the top-level window's base handling calls for the messages it leaves
// to the default window procedure (DefWindowProcW unless replaced). Returns the previous one.
using DefaultWindowProcedure = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
DefaultWindowProcedure SetDefaultWindowProcedureForTesting(DefaultWindowProcedure procedure);

// Test support only: what ApplyTheme calls to set the title bar's dark mode
// (DwmSetWindowAttribute unless replaced), so a test can see the value it passes; Wine ignores
// the attribute. Returns the previous one.
using WindowAttributeSetter = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
WindowAttributeSetter SetWindowAttributeSetterForTesting(WindowAttributeSetter setter);
