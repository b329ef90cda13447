// The panel's rectangles from PanelGeometry.inc, as constants of the layout
// code: panel::kWidth, panel::kHeight and one PixelRect per named rectangle
// (panel::mode_l, ...). The artwork generator reads the same file.
#pragma once

#include "render/PixelRect.h"

namespace panel {

#define PANEL_SIZE(w, h)   \
  constexpr int kWidth = w; \
  constexpr int kHeight = h;
#define PANEL_RECT(name, l, t, r, b) constexpr PixelRect name{l, t, r, b};
#include "effect/editor/PanelGeometry.inc"
#undef PANEL_SIZE
#undef PANEL_RECT

constexpr int Width(const PixelRect& r) { return r.right - r.left; }
constexpr int Height(const PixelRect& r) { return r.bottom - r.top; }

}  // namespace panel
