#pragma once

#include <windows.h>

#include "tools/stand_in_engine/view_model.h"

namespace stand_in {

// Paints the whole view into dc (through an off-screen bitmap, so updates do not flicker).
// dpi scales the layout, which is drawn for 96.
void PaintView(HDC dc, const RECT& client, const ViewModel& model, int dpi);

}  // namespace stand_in
