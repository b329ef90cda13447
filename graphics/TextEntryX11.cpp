// The Linux editor's in-place text box: a child window over the control,
// drawn here, that takes the keyboard until it commits or cancels.
#include "graphics/IGraphicsX11.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/IControl.h"
#include "graphics/X11Internal.h"  // last: the X headers

using namespace x11_detail;

namespace {

constexpr long kEntryEvents = ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
constexpr int kEntryReadLimit = 31;  // what the Windows box reads back: 31 characters
constexpr int kEntryHardLimit = 1024;

}  // namespace

void IGraphicsX11::BeginTextEntry(IControl* control, const TextStyle& logicalStyle, const PixelRect& logicalRect,
                                  const char* text, ParamRecord* param) {
  if (control == nullptr || mEntryBox != 0 || mWindow == 0) return;
  // The box sits over the control's window pixels, its text at the scaled size.
  const PixelRect rect = ToWindowRect(logicalRect);
  TextStyle style = logicalStyle;
  style.size = ScaledTextSize(logicalStyle.size);
  style.font = nullptr;
  Display* display = D(mDisplay);
  const int width = std::max(rect.right - rect.left + 1, 1);
  const int height = std::max(rect.bottom - rect.top + 1, 1);
  XSetWindowAttributes wa;
  std::memset(&wa, 0, sizeof wa);
  wa.background_pixmap = 0;
  wa.event_mask = kEntryEvents;
  const Window box = XCreateWindow(display, mWindow, rect.left, rect.top, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWBackPixmap | CWEventMask, &wa);
  if (box == 0) return;
  mEntryBox = box;
  mEntryGC = XCreateGC(display, box, 0, nullptr);
  mEntryStyle = style;
  mEntryRect = PixelRect{rect.left, rect.top, rect.left + width, rect.top + height};
  mEntryText = text != nullptr ? text : "";
  mEntrySelected = true;  // typing replaces the initial text
  mEntryControl = control;
  mEntryParam = param;
  mEntryState = EntryIdle;
  XMapRaised(display, box);
  int revert = 0;
  Window focus = 0;
  XGetInputFocus(display, &focus, &revert);
  mEntryPreviousFocus = focus;
  XSetInputFocus(display, box, RevertToParent, CurrentTime);
  // Selected after taking the focus: that first focus is not the box's own
  // (on Windows it does not pass through the box's procedure either), so
  // the state stays idle and a click into the editor commits.
  XSelectInput(display, box, kEntryEvents | FocusChangeMask);
  DrawTextEntry();
  // Typing may start at once: the keyboard must be the box's first.
  XSync(display, False);
}

void IGraphicsX11::DrawTextEntry() {
  if (mEntryBox == 0 || mDisplay == nullptr) return;
  const int width = mEntryRect.right - mEntryRect.left;
  const int height = mEntryRect.bottom - mEntryRect.top;
  LICE_MemBitmap pixels(width, height);
  if (pixels.PixelBuffer() == nullptr) return;
  const PixelRect all{0, 0, width, height};
  Fill(&pixels, all, PackPixel(255, mEntryStyle.entryBackground.red, mEntryStyle.entryBackground.green,
                               mEntryStyle.entryBackground.blue));
  LICE_IFont* font = FontFor(mEntryStyle);
  const int textWidth = TextWidth(font, mEntryText);
  int x = 2;
  if (mEntryStyle.alignment == kAlignCenter) x = (width - textWidth) / 2;
  if (mEntryStyle.alignment == kAlignFar) x = width - 2 - textWidth;
  const PackedPixel ink =
      PackPixel(255, mEntryStyle.entryText.red, mEntryStyle.entryText.green, mEntryStyle.entryText.blue);
  if (mEntrySelected && !mEntryText.empty()) {
    Fill(&pixels, PixelRect{x, 1, x + textWidth, height - 1}, kHighlight);
    DrawLabel(font, &pixels, mEntryText, PixelRect{x, 0, x + textWidth, height}, DrawTextNoClip, kHighlightInk);
  } else {
    DrawLabel(font, &pixels, mEntryText, PixelRect{x, 0, x + textWidth, height}, DrawTextNoClip, ink);
    Fill(&pixels, PixelRect{x + textWidth, 2, x + textWidth + 1, height - 2}, ink);  // the caret
  }
  std::vector<uint32_t> rows;
  PutPixels(D(mDisplay), mEntryBox, G(mEntryGC), static_cast<Visual*>(mVisual), mDepth, &pixels, all, 0, 0, rows);
  XFlush(D(mDisplay));
}

void IGraphicsX11::TextEntryKey(void* keyEvent) {
  XKeyEvent& key = *static_cast<XKeyEvent*>(keyEvent);
  char typed[16] = {0};
  KeySym sym = 0;
  const int count = XLookupString(&key, typed, sizeof typed, &sym, nullptr);
  if (sym == XK_Return || sym == XK_KP_Enter) {
    mEntryState = EntryCommit;
    return;
  }
  if (sym == XK_Escape) {
    mEntryState = EntryCancel;
    return;
  }
  if (sym == XK_BackSpace) {
    if (mEntrySelected)
      mEntryText.clear();
    else if (!mEntryText.empty())
      mEntryText.pop_back();
    mEntrySelected = false;
    DrawTextEntry();
    return;
  }
  const int limit = mEntryControl != nullptr && mEntryControl->TextEntryLength() > 0
                        ? std::min(mEntryControl->TextEntryLength(), kEntryHardLimit)
                        : kEntryHardLimit;
  for (int i = 0; i < count; ++i) {
    const int c = static_cast<unsigned char>(typed[i]);
    if (c < 32 || c > 126 || !EntryAcceptsChar(mEntryParam, c)) continue;
    if (mEntrySelected) {
      mEntryText.clear();
      mEntrySelected = false;
    }
    if (static_cast<int>(mEntryText.size()) >= limit) continue;
    mEntryText.push_back(static_cast<char>(c));
  }
  DrawTextEntry();
}

void IGraphicsX11::DestroyTextEntry() {
  if (mEntryBox == 0) return;
  Display* display = D(mDisplay);
  const Window box = mEntryBox;
  mEntryBox = 0;
  mEntryControl = nullptr;
  mEntryParam = nullptr;
  mEntryState = EntryIdle;
  // The keyboard goes back to whoever had it, if the box still has it.
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  if (focus == box) XSetInputFocus(display, mEntryPreviousFocus, RevertToParent, CurrentTime);
  if (mEntryGC != nullptr) XFreeGC(display, G(mEntryGC));
  mEntryGC = nullptr;
  XDestroyWindow(display, box);
  XFlush(display);
}

void IGraphicsX11::CommitOrCancelTextEntry() {
  IControl* control = mEntryControl;
  ParamRecord* param = mEntryParam;
  const bool commit = mEntryState == EntryCommit;
  const std::string text = mEntryText.substr(0, kEntryReadLimit);
  if (commit) ApplyEnteredText(control, param, text.c_str());
  DestroyTextEntry();
}

