#include "tools/stand_in_engine/view_painter.h"

#include <cstdio>
#include <string>
#include <vector>

#include "tools/stand_in_engine/view_canvas.h"

namespace stand_in {
namespace {

constexpr COLORREF kBackground = RGB(0xf1, 0xf4, 0xf8);
constexpr COLORREF kHeader = RGB(0x2e, 0x5e, 0x8c);
constexpr COLORREF kHeaderNote = RGB(0xc9, 0xdb, 0xee);
constexpr COLORREF kInk = RGB(0x1c, 0x27, 0x33);
constexpr COLORREF kMuted = RGB(0x6b, 0x77, 0x85);
constexpr COLORREF kRule = RGB(0xe3, 0xe8, 0xee);
constexpr COLORREF kGood = RGB(0x2e, 0x9d, 0x4f);
constexpr COLORREF kBad = RGB(0xc6, 0x28, 0x28);
constexpr COLORREF kWarning = RGB(0xb2, 0x6a, 0x00);
constexpr char kNone[] = "\xe2\x80\x94";  // An em dash.

const TextStyle kCaption = {13, true, kMuted};
const TextStyle kLabel = {16, false, kMuted};
const TextStyle kValue = {19, true, kInk};

RECT Box(int left, int top, int right, int bottom) { return RECT{left, top, right, bottom}; }

// Event times are UTC milliseconds since 1970; shown in local time.
std::string LocalTime(int64_t millis, bool withDate = true) {
  ULARGE_INTEGER ticks;
  ticks.QuadPart = static_cast<ULONGLONG>(millis) * 10000 + 116444736000000000ULL;
  FILETIME utc = {ticks.LowPart, ticks.HighPart};
  SYSTEMTIME universal = {}, local = {};
  if (!FileTimeToSystemTime(&utc, &universal) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
    return kNone;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth,
                local.wDay, local.wHour, local.wMinute, local.wSecond);
  return withDate ? text : text + 11;
}

// As the meter's display: one decimal on the 400 lx range (code 1), whole lux elsewhere.
std::string FormatLux(const ViewReading& reading) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", reading.rangeCode == 1 ? 1 : 0, reading.lux);
  return text;
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) {
    joined += (joined.empty() ? "" : ", ") + text;
  }
  return joined;
}

// Caption at the card's top; returns where the content starts.
int CardWithCaption(const Canvas& canvas, const RECT& card, const char* caption) {
  canvas.Card(card);
  const int pad = canvas.Scale(24);
  canvas.Text(caption, Box(card.left + pad, card.top + pad, card.right - pad, card.bottom),
              kCaption, DT_LEFT | DT_SINGLELINE);
  return card.top + pad + canvas.Scale(30);
}

// One "label  value" row; returns the next row's top.
int Row(const Canvas& canvas, const RECT& card, int top, const std::string& label,
        const std::string& value, const TextStyle& valueStyle = kValue) {
  const int pad = canvas.Scale(24);
  const int valueLeft = card.left + pad + canvas.Scale(190);
  canvas.Text(label, Box(card.left + pad, top + canvas.Scale(3), valueLeft, top + canvas.Scale(30)),
              kLabel, DT_LEFT | DT_SINGLELINE);
  const int height =
      canvas.Text(value, Box(valueLeft, top, card.right - pad, top + canvas.Scale(200)), valueStyle,
                  DT_LEFT | DT_WORDBREAK);
  return top + (height > canvas.Scale(30) ? height : canvas.Scale(30)) + canvas.Scale(12);
}

void PaintHeader(const Canvas& canvas, const RECT& client) {
  const RECT band = Box(client.left, client.top, client.right, client.top + canvas.Scale(64));
  canvas.Fill(band, kHeader);
  const int pad = canvas.Scale(28);
  const RECT inner = Box(band.left + pad, band.top, band.right - pad, band.bottom);
  canvas.Text("Lumerovantix", inner, {24, true, RGB(0xff, 0xff, 0xff)},
              DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  canvas.Text("stand-in engine \xc2\xb7 light meter demo", inner, {15, false, kHeaderNote},
              DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
}

// The latest readings as a table, newest first, as many as fit.
void PaintRecent(const Canvas& canvas, const RECT& area, const std::vector<ViewReading>& recent) {
  static constexpr int kColumns[] = {0, 80, 210, 380, 520};
  static const char* const kHeadings[] = {"NO.", "TIME", "LUX", "RANGE", "OVERLOAD"};
  const int rowHeight = canvas.Scale(30);
  canvas.Text("RECENT READINGS", Box(area.left, area.top, area.right, area.top + rowHeight),
              kCaption, DT_LEFT | DT_SINGLELINE);
  int top = area.top + rowHeight + canvas.Scale(6);
  for (size_t column = 0; column < 5; ++column) {
    canvas.Text(kHeadings[column],
                Box(area.left + canvas.Scale(kColumns[column]), top, area.right, top + rowHeight),
                {12, true, kMuted}, DT_LEFT | DT_SINGLELINE);
  }
  top += canvas.Scale(24);
  for (const ViewReading& reading : recent) {
    if (top + rowHeight > area.bottom) {
      break;
    }
    canvas.Line(area.left, area.right, top, kRule);
    const std::string cells[] = {std::to_string(reading.number), LocalTime(reading.time, false),
                                 FormatLux(reading) + " lx", reading.range,
                                 reading.overload ? "yes" : ""};
    for (size_t column = 0; column < 5; ++column) {
      canvas.Text(cells[column],
                  Box(area.left + canvas.Scale(kColumns[column]), top + canvas.Scale(5), area.right,
                      top + rowHeight),
                  {16, false, reading.overload ? kBad : kInk}, DT_LEFT | DT_SINGLELINE);
    }
    top += rowHeight;
  }
}

void PaintReading(const Canvas& canvas, const RECT& card, const ViewModel& model) {
  int top = CardWithCaption(canvas, card, "ILLUMINANCE");
  const int pad = canvas.Scale(24);
  const int left = card.left + pad;
  const std::optional<ViewReading>& reading = model.reading;

  // The value in large figures, the unit and the overload mark on its baseline.
  const int baseline = top + canvas.Scale(118);
  int x = left;
  x += canvas.TextOnBaseline(reading ? FormatLux(*reading) : kNone, x, baseline,
                             {120, true, reading && reading->overload ? kBad : kInk});
  x += canvas.Scale(14);
  x += canvas.TextOnBaseline("lx", x, baseline, {44, false, kMuted});
  if (reading && reading->overload) {
    const TextStyle badgeText = {17, true, RGB(0xff, 0xff, 0xff)};
    const int width = canvas.TextWidth("OVERLOAD", badgeText) + canvas.Scale(28);
    const RECT badge = Box(x + canvas.Scale(24), baseline - canvas.Scale(38),
                           x + canvas.Scale(24) + width, baseline - canvas.Scale(6));
    canvas.Fill(badge, kBad);
    canvas.Text("OVERLOAD", badge, badgeText, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  top = baseline + canvas.Scale(40);
  canvas.Line(left, card.right - pad, top, kRule);
  top += canvas.Scale(22);

  if (!reading) {
    canvas.Text(model.connected == false ? "No meter is connected: no readings."
                                         : "Waiting for the first reading\xe2\x80\xa6",
                Box(left, top, card.right - pad, top + canvas.Scale(30)), {19, false, kMuted},
                DT_LEFT | DT_SINGLELINE);
    return;
  }
  top = Row(canvas, card, top, "Range",
            reading->range + "  (code " + std::to_string(reading->rangeCode) + ")");
  top = Row(canvas, card, top, "Overload", reading->overload ? "yes" : "no",
            {19, true, reading->overload ? kBad : kInk});
  top = Row(canvas, card, top, "Display counts", std::to_string(reading->raw));
  top = Row(canvas, card, top, "Reading number", std::to_string(reading->number));
  top = Row(canvas, card, top, "Time", LocalTime(reading->time));
  if (model.lastMissing > reading->time) {
    top = Row(canvas, card, top, "Last poll",
              "no answer from the meter at " + LocalTime(model.lastMissing, false),
              {19, true, kWarning});
  }
  PaintRecent(canvas, Box(left, top + canvas.Scale(12), card.right - pad, card.bottom - pad),
              model.recent);
}

void PaintMeter(const Canvas& canvas, const RECT& card, const ViewModel& model) {
  int top = CardWithCaption(canvas, card, "METER");
  const int pad = canvas.Scale(24);
  const COLORREF colour = !model.connected ? kMuted : *model.connected ? kGood : kBad;
  const char* state = !model.connected   ? "Waiting for the state\xe2\x80\xa6"
                      : *model.connected ? "Connected"
                                         : "Not connected";
  canvas.Dot(card.left + pad + canvas.Scale(9), top + canvas.Scale(16), canvas.Scale(9), colour);
  canvas.Text(
      state, Box(card.left + pad + canvas.Scale(30), top, card.right - pad, top + canvas.Scale(34)),
      {24, true, colour == kMuted ? kMuted : kInk}, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  top += canvas.Scale(52);
  top = Row(canvas, card, top, "Ports",
            !model.ports           ? kNone
            : model.ports->empty() ? "none"
                                   : Joined(*model.ports));
  Row(canvas, card, top, "Acquisition",
      !model.started   ? kNone
      : *model.started ? "started"
                       : "not started");
}

void PaintDevice(const Canvas& canvas, const RECT& card, const ViewModel& model) {
  const int top = CardWithCaption(canvas, card, "DEVICE IDENTITY (MACHINEGUID)");
  const int pad = canvas.Scale(24);
  const bool failed = !model.deviceError.empty();
  canvas.Text(failed                   ? model.deviceError
              : model.deviceId.empty() ? kNone
                                       : model.deviceId,
              Box(card.left + pad, top, card.right - pad, card.bottom - pad),
              {20, true, failed ? kBad : kInk}, DT_LEFT | DT_WORDBREAK);
}

void PaintEvents(const Canvas& canvas, const RECT& card, const ViewModel& model) {
  int top = CardWithCaption(canvas, card, "EVENTS RECEIVED");
  top = Row(canvas, card, top, "readings (pomiar)", std::to_string(model.readingCount));
  top = Row(canvas, card, top, "state (stan)", std::to_string(model.stateCount));
  // When the meter last left a poll unanswered, also after readings came again.
  top = Row(canvas, card, top, "no reading (brak)",
            std::to_string(model.missingCount) +
                (model.missingCount > 0 ? ", last at " + LocalTime(model.lastMissing, false) : ""));
  Row(canvas, card, top, "errors (blad)", std::to_string(model.errorCount));
}

void PaintError(const Canvas& canvas, const RECT& card, const ViewModel& model) {
  const int top = CardWithCaption(canvas, card, "LAST ERROR");
  const int pad = canvas.Scale(24);
  const bool none = model.lastError.empty();
  canvas.Text(none ? "None" : model.lastError,
              Box(card.left + pad, top, card.right - pad, card.bottom - pad),
              {19, !none, none ? kMuted : kBad}, DT_LEFT | DT_WORDBREAK);
}

void PaintAll(const Canvas& canvas, const RECT& client, const ViewModel& model) {
  canvas.Fill(client, kBackground);
  PaintHeader(canvas, client);
  const int gap = canvas.Scale(24);
  const int top = client.top + canvas.Scale(64) + gap;
  const int bottom = client.bottom - gap;
  const int width = client.right - client.left - 3 * gap;
  const int split = client.left + gap + width * 11 / 20;
  PaintReading(canvas, Box(client.left + gap, top, split, bottom), model);
  const int left = split + gap;
  const int right = client.right - gap;
  const int meterBottom = top + canvas.Scale(196);
  const int deviceBottom = meterBottom + gap + canvas.Scale(104);
  const int eventsBottom = deviceBottom + gap + canvas.Scale(224);
  PaintMeter(canvas, Box(left, top, right, meterBottom), model);
  PaintDevice(canvas, Box(left, meterBottom + gap, right, deviceBottom), model);
  PaintEvents(canvas, Box(left, deviceBottom + gap, right, eventsBottom), model);
  PaintError(canvas, Box(left, eventsBottom + gap, right, bottom), model);
}

}  // namespace

void PaintView(HDC dc, const RECT& client, const ViewModel& model, int dpi) {
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (width <= 0 || height <= 0) {
    return;
  }
  UniqueMemoryDc buffer(CreateCompatibleDC(dc));
  UniqueGdiObject bitmap(CreateCompatibleBitmap(dc, width, height));
  if (!buffer || !bitmap) {
    PaintAll(Canvas(dc, dpi), client, model);
    return;
  }
  {
    Selection bitmapSelection(buffer.get(), bitmap.get());
    PaintAll(Canvas(buffer.get(), dpi), RECT{0, 0, width, height}, model);
    BitBlt(dc, client.left, client.top, width, height, buffer.get(), 0, 0, SRCCOPY);
  }
}

}  // namespace stand_in
