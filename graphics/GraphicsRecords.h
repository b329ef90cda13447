// The editor's small records: rectangle rules, colours, text styles, image
// strips, blend choices, mouse modifiers and key codes. Plain data, no OS
// types; shared by the graphics core, the controls and the window classes.
#pragma once

#include <cstdint>
#include <cstring>

#include "render/Bitmap.h"
#include "render/Font.h"
#include "render/PixelRect.h"

// Rectangle rules. Only the all-zero rectangle is empty; the overlap test
// counts rectangles that merely touch on the right or bottom edge of A.
inline bool RectIsEmpty(const PixelRect& r) {
  return r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0;
}
inline bool RectOverlaps(const PixelRect& a, const PixelRect& b) {
  if (RectIsEmpty(a) || RectIsEmpty(b)) return false;
  return a.right >= b.left && a.left < b.right && a.bottom >= b.top && a.top < b.bottom;
}
inline PixelRect RectIntersection(const PixelRect& a, const PixelRect& b) {
  if (!RectOverlaps(a, b)) return PixelRect{};
  return PixelRect{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
                   a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}
inline PixelRect RectUnion(const PixelRect& a, const PixelRect& b) {
  if (RectIsEmpty(a)) return b;
  if (RectIsEmpty(b)) return a;
  return PixelRect{a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
                   a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom};
}
inline bool RectContains(const PixelRect& r, int x, int y) {
  if (RectIsEmpty(r)) return false;
  return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
}
inline bool SameRect(const PixelRect& a, const PixelRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

struct ArgbColor {
  int32_t alpha;
  int32_t red;
  int32_t green;
  int32_t blue;

  PackedPixel Packed() const { return PackPixel(alpha, red, green, blue); }
};

constexpr ArgbColor kColorBlack{255, 0, 0, 0};
constexpr ArgbColor kColorWhite{255, 255, 255, 255};
constexpr ArgbColor kColorTransparent{0, 0, 0, 0};

enum TextWeight : int32_t { kTextNormal = 0, kTextBold = 1, kTextItalic = 2 };
enum TextAlignment : int32_t { kAlignNear = 0, kAlignCenter = 1, kAlignFar = 2 };
enum TextQuality : int32_t { kQualityDefault = 0, kQualityNoAntialias = 1, kQualityAntialias = 2, kQualityClearType = 3 };

constexpr int kFaceSize = 32;

// How a text is drawn. The font pointer is filled by IGraphics::FontFor and
// belongs to the process-wide font cache, never to the style.
struct TextStyle {
  char face[kFaceSize] = "Verdana";
  int32_t size = 12;
  ArgbColor color = kColorBlack;
  ArgbColor entryBackground = kColorWhite;
  ArgbColor entryText = kColorBlack;
  int32_t weight = kTextNormal;
  int32_t alignment = kAlignCenter;
  int32_t orientation = 0;
  int32_t quality = kQualityDefault;
  LICE_IFont* font = nullptr;

  // Copies at most 31 characters and forgets any font made for the old face.
  void SetFace(const char* name) {
    std::strncpy(face, name != nullptr ? name : "", kFaceSize - 1);
    face[kFaceSize - 1] = '\0';
    font = nullptr;
  }
};

// An image used by a control. The bitmap belongs to the image cache.
struct ImageStrip {
  LICE_IBitmap* bitmap = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t frames = 1;
  bool sideBySide = false;  // false: frames stacked top to bottom
};

enum BlendMethod : int32_t {
  BlendStandard = 0,
  BlendOpaque = 1,
  BlendAdditive = 2,
  BlendColorDodge = 3,
};

struct BlendSpec {
  int32_t method = BlendStandard;
  float weight = 1.0f;
};

// The BlitBitmap mode word of a method; unknown methods blend as standard.
inline int BlitWordFor(int32_t method) {
  switch (method) {
    case BlendOpaque: return BlendCopy;
    case BlendAdditive: return BlendAdd | BlendUseSourceAlpha;
    case BlendColorDodge: return BlendDodge | BlendUseSourceAlpha;
    default: return BlendCopy | BlendUseSourceAlpha;
  }
}

struct MouseModifiers {
  bool left = false;
  bool right = false;
  bool shift = false;
  bool control = false;
  bool alt = false;
};

// The editor's key numbering.
enum KeyCode : int {
  kKeySpace = 0,
  kKeyUp = 1,
  kKeyDown = 2,
  kKeyLeft = 3,
  kKeyRight = 4,
  kKeyDigit0 = 5,   // digits 0..9 are 5..14
  kKeyLetterA = 15,  // letters A..Z are 15..40
  kKeyLetterZ = 40,
};

// IGraphics::ShowMessage's type word, numbered as Windows' MessageBox flags
// (the Windows class passes it through): buttons in the low nibble, the icon
// in the next, the default button in bits 8..11.
enum MessageBoxType : int {
  kMessageOk = 0x0,
  kMessageOkCancel = 0x1,
  kMessageAbortRetryIgnore = 0x2,
  kMessageYesNoCancel = 0x3,
  kMessageYesNo = 0x4,
  kMessageRetryCancel = 0x5,
  kMessageButtonsMask = 0xF,
  kMessageIconError = 0x10,
  kMessageIconQuestion = 0x20,
  kMessageIconWarning = 0x30,
  kMessageIconInformation = 0x40,
  kMessageDefaultButton2 = 0x100,
  kMessageDefaultButton3 = 0x200,
  kMessageDefaultMask = 0xF00,
};

// ShowMessage's answers: the button pressed, as Windows numbers it.
enum MessageAnswer : int {
  kAnswerNone = 0,  // no box could be shown
  kAnswerOk = 1,
  kAnswerCancel = 2,
  kAnswerAbort = 3,
  kAnswerRetry = 4,
  kAnswerIgnore = 5,
  kAnswerYes = 6,
  kAnswerNo = 7,
};
