#pragma once

// Plain GDI drawing for the stand-in's view: scaled lengths, fonts, cards and UTF-8 text.

#include <windows.h>

#include <string>

#include "runner/win32_unique_handle.h"

namespace stand_in {

namespace gdi_traits {
struct Object {
  using Type = HGDIOBJ;
  static Type Invalid() { return nullptr; }
  static void Close(Type object) { DeleteObject(object); }
};
struct MemoryDc {
  using Type = HDC;
  static Type Invalid() { return nullptr; }
  static void Close(Type dc) { DeleteDC(dc); }
};
}  // namespace gdi_traits

using UniqueGdiObject = UniqueHandle<gdi_traits::Object>;
using UniqueMemoryDc = UniqueHandle<gdi_traits::MemoryDc>;

// Selects an object into a DC for its own lifetime.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc(dc), previous(SelectObject(dc, object)) {}
  ~Selection() { SelectObject(dc, previous); }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc;
  HGDIOBJ previous;
};

struct TextStyle {
  int size = 16;  // Em height at 96 DPI.
  bool bold = false;
  COLORREF colour = RGB(0, 0, 0);
};

class Canvas {
 public:
  Canvas(HDC dc, int dpi) : dc(dc), dpi(dpi) {}

  HDC Dc() const { return dc; }
  // A length of the 96-DPI layout in device pixels.
  int Scale(int length) const { return MulDiv(length, dpi, 96); }

  void Fill(const RECT& area, COLORREF colour) const;
  // A white card with a thin border and rounded corners.
  void Card(const RECT& area) const;
  void Dot(int centreX, int centreY, int radius, COLORREF colour) const;
  void Line(int left, int right, int y, COLORREF colour) const;
  // DrawText with format flags; returns the height drawn (or measured, with DT_CALCRECT).
  int Text(const std::string& utf8, RECT area, const TextStyle& style, UINT format) const;
  int TextWidth(const std::string& utf8, const TextStyle& style) const;
  // Text whose baseline sits at y; returns its width.
  int TextOnBaseline(const std::string& utf8, int x, int y, const TextStyle& style) const;

 private:
  UniqueGdiObject MakeFont(const TextStyle& style) const;

  HDC dc;
  int dpi;
};

}  // namespace stand_in
