#include "runner/win32_window.h"

#include <dwmapi.h>

#include "channels/flutter_windows.h"
#include "runner/win32_window_testing.h"

namespace {

constexpr wchar_t kWindowClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
constexpr int kIconResource = 101;
constexpr DWORD kImmersiveDarkMode = 20;  // DWMWA_USE_IMMERSIVE_DARK_MODE

int activeWindowCount = 0;
bool classRegistered = false;
DefaultWindowProcedure defaultProcedure = DefWindowProcW;
WindowAttributeSetter setWindowAttribute = DwmSetWindowAttribute;

void RegisterWindowClass() {
  if (classRegistered) return;
  WNDCLASSW windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hIcon = LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(kIconResource));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kWindowClassName;
  RegisterClassW(&windowClass);  // a failure shows as CreateWindowExW's
  classRegistered = true;
}

void UnregisterWindowClass() {
  UnregisterClassW(kWindowClassName, nullptr);
  classRegistered = false;
}

int Scale(int value, double scale) { return static_cast<int>(value * scale); }

}  // namespace

Win32Window::Win32Window() { ++activeWindowCount; }

Win32Window::~Win32Window() {
  --activeWindowCount;
  Destroy();
}

bool Win32Window::Create(const std::wstring& title, const Point& origin, const Size& size) {
  Destroy();
  RegisterWindowClass();
  const HMONITOR monitor = MonitorFromPoint({origin.x, origin.y}, MONITOR_DEFAULTTONEAREST);
  const double scale = FlutterDesktopGetDpiForMonitor(monitor) / 96.0;
  const HWND window =
      CreateWindowExW(0, kWindowClassName, title.c_str(), WS_OVERLAPPEDWINDOW,
                      Scale(origin.x, scale), Scale(origin.y, scale), Scale(size.width, scale),
                      Scale(size.height, scale), nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window == nullptr) return false;
  ApplyTheme(window);
  return HandleCreate();
}

void Win32Window::Destroy() {
  HandleDestroy();
  if (handle != nullptr) {
    DestroyWindow(handle);
    handle = nullptr;
  }
  // Only the last object's destructor gets here with a count of 0.
  if (activeWindowCount == 0) UnregisterWindowClass();
}

bool Win32Window::Show() { return ShowWindow(handle, SW_SHOWNORMAL) != 0; }

RECT Win32Window::ClientRect() const {
  RECT rect = {};
  GetClientRect(handle, &rect);
  return rect;
}

void Win32Window::AttachChild(HWND content) {
  child = content;
  SetParent(content, handle);
  const RECT rect = ClientRect();
  MoveWindow(content, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
  SetFocus(child);
}

LRESULT Win32Window::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      handle = nullptr;
      Destroy();
      if (quitWhenClosed) PostQuitMessage(0);
      return 0;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_SIZE: {
      const RECT rect = ClientRect();
      if (child != nullptr) {
        MoveWindow(child, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   TRUE);
      }
      return 0;
    }
    case WM_ACTIVATE:
      if (child != nullptr) SetFocus(child);
      return 0;
    case WM_DWMCOLORIZATIONCOLORCHANGED:
      ApplyTheme(window);
      return 0;
    default:
      // The stored handle: null once WM_DESTROY has been handled.
      return defaultProcedure(handle, message, wparam, lparam);
  }
}

DefaultWindowProcedure SetDefaultWindowProcedureForTesting(DefaultWindowProcedure procedure) {
  const DefaultWindowProcedure previous = defaultProcedure;
  defaultProcedure = procedure;
  return previous;
}

WindowAttributeSetter SetWindowAttributeSetterForTesting(WindowAttributeSetter setter) {
  const WindowAttributeSetter previous = setWindowAttribute;
  setWindowAttribute = setter;
  return previous;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* owner = static_cast<Win32Window*>(create->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    EnableNonClientScaling(window);
    owner->handle = window;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  auto* owner = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (owner != nullptr) return owner->HandleMessage(window, message, wparam, lparam);
  return DefWindowProcW(window, message, wparam, lparam);
}

void EnableNonClientScaling(HWND window) {
  // Looked up at run time: older systems do not have it.
  const HMODULE user32 = LoadLibraryA("User32.dll");
  if (user32 == nullptr) return;
  using EnableScaling = BOOL(WINAPI*)(HWND);
  // Through void(*)(): the one function pointer type any other may be cast from without warning.
  const auto enable = reinterpret_cast<EnableScaling>(
      reinterpret_cast<void (*)()>(GetProcAddress(user32, "EnableNonClientDpiScaling")));
  if (enable != nullptr) enable(window);
  FreeLibrary(user32);
}

void ApplyTheme(HWND window) {
  DWORD lightTheme = 0;
  DWORD size = sizeof lightTheme;
  if (RegGetValueW(
          HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
          L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &lightTheme, &size) != ERROR_SUCCESS) {
    return;
  }
  const BOOL dark = lightTheme == 0 ? TRUE : FALSE;
  setWindowAttribute(window, kImmersiveDarkMode, &dark, sizeof dark);
}
