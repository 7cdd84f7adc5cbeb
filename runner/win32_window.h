#pragma once

#include <windows.h>

#include <string>

// The program's top-level window: registers the window class, creates a hidden native window
// scaled to the monitor's DPI, follows the user's app theme in the title bar, keeps one child
// window filling the client area, and ends the message loop when destroyed (if asked to).
// UI thread only.
class Win32Window {
 public:
  struct Point {
    int x;
    int y;
  };
  struct Size {
    int width;
    int height;
  };

  Win32Window();
  virtual ~Win32Window();
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // origin and size in logical pixels (96 DPI); size is the outer size. True when the native
  // window exists and HandleCreate agreed.
  bool Create(const std::wstring& title, const Point& origin, const Size& size);
  void Destroy();
  // True if the window was visible before.
  bool Show();
  HWND WindowHandle() const { return handle; }
  RECT ClientRect() const;
  // Embeds content as the child filling the client area and gives it the keyboard focus.
  void AttachChild(HWND content);
  void SetQuitWhenClosed(bool value) { quitWhenClosed = value; }

 protected:
  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // Runs after the native window exists; false fails Create.
  virtual bool HandleCreate() { return true; }
  // Runs on every Create (also before any native window) and may run twice per window.
  virtual void HandleDestroy() {}

 private:
  friend LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  bool quitWhenClosed = false;
  HWND handle = nullptr;
  HWND child = nullptr;
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Lets Windows scale the title bar and frame with the monitor's DPI where it can.
void EnableNonClientScaling(HWND window);
// Dark or light title bar after the user's "AppsUseLightTheme"; unchanged without the value.
void ApplyTheme(HWND window);
