#include "tools/stand_in_engine/view_canvas.h"

#include "tools/stand_in_engine/environment.h"

namespace stand_in {

void Canvas::Fill(const RECT& area, COLORREF colour) const {
  UniqueGdiObject brush(CreateSolidBrush(colour));
  FillRect(dc, &area, static_cast<HBRUSH>(brush.get()));
}

void Canvas::Card(const RECT& area) const {
  UniqueGdiObject brush(CreateSolidBrush(RGB(0xff, 0xff, 0xff)));
  UniqueGdiObject pen(CreatePen(PS_SOLID, Scale(1), RGB(0xd5, 0xdc, 0xe4)));
  Selection brushSelection(dc, brush.get());
  Selection penSelection(dc, pen.get());
  RoundRect(dc, area.left, area.top, area.right, area.bottom, Scale(14), Scale(14));
}

void Canvas::Dot(int centreX, int centreY, int radius, COLORREF colour) const {
  UniqueGdiObject brush(CreateSolidBrush(colour));
  Selection brushSelection(dc, brush.get());
  Selection penSelection(dc, GetStockObject(NULL_PEN));
  Ellipse(dc, centreX - radius, centreY - radius, centreX + radius + 1, centreY + radius + 1);
}

void Canvas::Line(int left, int right, int y, COLORREF colour) const {
  RECT line = {left, y, right, y + Scale(1)};
  Fill(line, colour);
}

UniqueGdiObject Canvas::MakeFont(const TextStyle& style) const {
  // Tahoma is on every Windows and comes with Wine.
  return UniqueGdiObject(CreateFontW(-Scale(style.size), 0, 0, 0, style.bold ? FW_BOLD : FW_NORMAL,
                                     FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                     DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
}

int Canvas::Text(const std::string& utf8, RECT area, const TextStyle& style, UINT format) const {
  UniqueGdiObject font = MakeFont(style);
  Selection fontSelection(dc, font.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, style.colour);
  const std::wstring text = Wide(utf8);
  return DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, format | DT_NOPREFIX);
}

int Canvas::TextWidth(const std::string& utf8, const TextStyle& style) const {
  UniqueGdiObject font = MakeFont(style);
  Selection fontSelection(dc, font.get());
  const std::wstring text = Wide(utf8);
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

int Canvas::TextOnBaseline(const std::string& utf8, int x, int y, const TextStyle& style) const {
  UniqueGdiObject font = MakeFont(style);
  Selection fontSelection(dc, font.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, style.colour);
  const UINT previousAlign = SetTextAlign(dc, TA_LEFT | TA_BASELINE);
  const std::wstring text = Wide(utf8);
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
  SetTextAlign(dc, previousAlign);
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

}  // namespace stand_in
