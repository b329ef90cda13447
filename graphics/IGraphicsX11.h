// The Linux editor window: an X11 child window inside the window a host
// gives it to open in, with its own connection to the X server. Events are
// handled and the surface repainted when the host calls PumpEvents (from its
// idle calls, timer or run loop), turned into the graphics core's calls as the Windows
// class turns its messages; plus the OS services controls use (popup menus,
// an in-place text box, message boxes, the browser, folders, images). The
// text box, the popup menu and the message box each have a file of their
// own (TextEntryX11.cpp, PopupMenuX11.cpp, MessageBoxX11.cpp).
//
// Threads: every operation runs on the thread that opens the editor and
// pumps its events (the host's GUI thread), except PushParameterValue
// (IGraphics). Menus and message boxes are modal: they run their own event
// loop on that thread and return when answered. X types are kept as
// integers and void* so that this header needs no X headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/IGraphics.h"

class IGraphicsX11 : public IGraphics {
 public:
  // The text box's states, numbered as the Windows class numbers them.
  enum TextEntryState : int32_t {
    EntryIdle = 0,
    EntryFocused = 1,    // the box got the focus back: the editor ignores all but presses
    EntryRepainted = 2,  // the editor was repainted around the box on this tick
    EntryCancel = 3,     // close on the next tick without using the text
    EntryCommit = 4,     // close on the next tick and use the text
  };

  // A second press closer than this in time and distance is a double click.
  static constexpr int kDoubleClickMs = 250;
  static constexpr int kDoubleClickPixels = 4;

  explicit IGraphicsX11(IPlugBase* plug, int width = kEditorWidth, int height = kEditorHeight,
                        int fps = kFramesPerSecond);
  ~IGraphicsX11() override;

  bool PresentArea(const PixelRect& area) override;
  void CancelTextEntry() override { mEntryState = EntryCancel; }
  void SetEditorSize(int width, int height) override;
  const char* BackendName() override { return "X11"; }
  // `type`'s buttons and default button are MessageBoxType's (icons are
  // not drawn); answers a MessageAnswer, kAnswerNone when no dialog could
  // be shown.
  int ShowMessage(const char* text, const char* caption, int type) override;
  PopupMenu* RunPopupMenu(PopupMenu& menu, const PixelRect& rect) override;
  void BeginTextEntry(IControl* control, const TextStyle& style, const PixelRect& rect, const char* text,
                      ParamRecord* param) override;
  void HostFolder(std::string& folder) override;
  void PluginFolder(std::string& folder) override;
  bool LaunchUrl(const char* address, const char* caption, const char* confirmation, const char* error) override;
  // `parent` is an X Window id cast to void*; answers ours the same way.
  void* OpenEditorWindow(void* parent) override;
  void CloseEditorWindow() override;
  void* EditorWindowHandle() override { return reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow)); }
  void HideCursor() override;
  void RestoreCursor() override;
  LICE_IBitmap* LoadImageResource(int id, const char* name) override;
  // Handles every X event waiting (never blocks), then runs the repaint
  // timer when 1000 / FPS ms have passed since its last tick.
  void PumpEvents() override;

  // State, for tests.
  unsigned long TextEntryBox() const { return mEntryBox; }
  int32_t TextEntryStateNow() const { return mEntryState; }
  const std::string& TextEntryText() const { return mEntryText; }
  void* DisplayConnection() const { return mDisplay; }
  // The X connection's file descriptor while the window is open, else -1:
  // hosts with a run loop call PumpEvents when it is readable.
  int EventFd() const;
  // Ticks of the repaint timer so far (they run from PumpEvents only).
  int TimerTicks() const { return mTimerTicks; }

  // The class name of message box windows.
  static constexpr const char* kMessageClass = "veltrane-message";

 private:
  void HandleEvent(void* event);
  void EditorMouse(void* event);
  void EditorKey(void* keyEvent);
  void Tick();
  void WindowDestroyedByOthers();
  void ReleaseDisplay();
  void GrabPointer(unsigned long time);
  void UngrabPointer(unsigned long time);
  // TextEntryX11.cpp
  void DestroyTextEntry();
  void CommitOrCancelTextEntry();
  void DrawTextEntry();
  void TextEntryKey(void* keyEvent);
  // MessageBoxX11.cpp
  int RunMessageBox(void* display, const char* text, const char* caption, int type);
  unsigned long MessageOwner();

  void* mDisplay = nullptr;  // Display*
  unsigned long mWindow = 0;
  unsigned long mParent = 0;
  void* mGC = nullptr;          // GC of the editor window
  void* mVisual = nullptr;      // Visual* of the editor window
  int mDepth = 0;
  bool mGrabbed = false;        // the pointer is grabbed for a press
  bool mTrackingLeave = false;  // hover is on: a leave ends it
  bool mRepaintAll = false;     // paint everything at the next pump
  PixelRect mExposed{};         // what the server asked us to show again
  int64_t mLastTickMs = 0;
  int mTimerTicks = 0;
  unsigned long mLastPressTime = 0;
  unsigned int mLastPressButton = 0;
  int mLastPressX = 0;
  int mLastPressY = 0;
  bool mCursorHidden = false;
  unsigned long mBlankCursor = 0;
  int mCursorX = 0;
  int mCursorY = 0;
  std::vector<uint32_t> mPresentPixels;  // rows handed to the server

  unsigned long mEntryBox = 0;
  unsigned long mEntryPreviousFocus = 0;  // who had the keyboard before the box
  void* mEntryGC = nullptr;
  IControl* mEntryControl = nullptr;
  ParamRecord* mEntryParam = nullptr;
  TextStyle mEntryStyle;
  PixelRect mEntryRect{};
  std::string mEntryText;
  bool mEntrySelected = false;  // the whole text is selected (typing replaces it)
  int32_t mEntryState = EntryIdle;
};
