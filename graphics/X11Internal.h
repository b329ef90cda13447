// Helpers shared by the files of the Linux editor window (the window and
// its events, the text box, the popup menu, the message box); not part of
// the graphics interface. Include it last: the X headers define macros
// (None, Status, True...) that would clash with names in the project's
// headers. X's own KeyCode type is renamed, the name is the editor's key
// numbering here.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "graphics/GraphicsRecords.h"

#define KeyCode XKeyCode
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#undef KeyCode

namespace x11_detail {

inline constexpr long kGrabEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
inline constexpr int kModalWaitMs = 50;

inline Display* D(void* display) { return static_cast<Display*>(display); }
inline GC G(void* gc) { return static_cast<GC>(gc); }
inline XEvent& E(void* event) { return *static_cast<XEvent*>(event); }

inline int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Connections of our own, whose X errors are kept (not fatal to the host).
Display* OpenDisplay();
void CloseDisplay(Display* display);

// Waits until the connection has input or the time is over.
void WaitForEvents(Display* display, int ms);

// Copies `area` of the bitmap to (destX, destY) of the drawable. The pixel
// words are 0xAARRGGBB, which a 24/32-bit TrueColor visual with these masks
// takes as they are; other visuals are refused.
bool PutPixels(Display* display, Drawable target, GC gc, Visual* visual, int depth, LICE_IBitmap* bitmap,
               PixelRect area, int destX, int destY, std::vector<uint32_t>& rows);

// The look of the text box, the menus and the message boxes.
inline constexpr PackedPixel kPanel = PackPixel(255, 240, 240, 240);
inline constexpr PackedPixel kInk = PackPixel(255, 0, 0, 0);
inline constexpr PackedPixel kGreyInk = PackPixel(255, 144, 144, 144);
inline constexpr PackedPixel kHighlight = PackPixel(255, 51, 153, 255);
inline constexpr PackedPixel kHighlightInk = PackPixel(255, 255, 255, 255);
inline constexpr PackedPixel kFrame = PackPixel(255, 112, 112, 112);
inline constexpr PackedPixel kFocusFrame = PackPixel(255, 0, 120, 215);
inline constexpr PackedPixel kButtonFace = PackPixel(255, 225, 225, 225);
inline constexpr PackedPixel kButtonDown = PackPixel(255, 204, 228, 247);

inline void Fill(LICE_IBitmap* bitmap, const PixelRect& r, PackedPixel color) {
  FillBitmapRect(bitmap, r.left, r.top, r.right - r.left, r.bottom - r.top, color, 1.0f, BlendCopy);
}

inline int TextWidth(LICE_IFont* font, const std::string& text) {
  if (font == nullptr || text.empty()) return 0;
  PixelRect extent{};
  font->DrawString(nullptr, text.c_str(), static_cast<int>(text.size()), &extent,
                   DrawTextCalcRect | DrawTextSingleLine);
  return extent.right;
}

inline void DrawLabel(LICE_IFont* font, LICE_IBitmap* bitmap, const std::string& text, PixelRect r, int format,
                      PackedPixel color) {
  if (font == nullptr || text.empty()) return;
  font->SetInkColor(color);
  font->DrawString(bitmap, text.c_str(), static_cast<int>(text.size()), &r,
                   format | DrawTextVCenter | DrawTextSingleLine);
}

inline TextStyle DialogStyle() {
  TextStyle style;
  style.size = 14;
  style.alignment = kAlignNear;
  return style;
}

}  // namespace x11_detail
