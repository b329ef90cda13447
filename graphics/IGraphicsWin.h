// The Windows editor window: a child window of class "IPlugWndClass" inside
// the host's window, repainted by a 40 ms timer from the drawing surface,
// turning Windows messages into the graphics core's calls; plus the OS
// services controls use (popup menus, an in-place text box, message boxes,
// the browser, the plug-in's folder, image resources).
//
// Threads: every operation runs on the thread that owns the host's window
// (the thread that opens the editor), except PushParameterValue (IGraphics).
// Handles are kept as void* so that this header needs no Windows headers.
#pragma once

#include <string>

#include "graphics/IGraphics.h"

class IGraphicsWin : public IGraphics {
 public:
  enum TextEntryState : int32_t {
    EntryIdle = 0,
    EntryFocused = 1,    // the box got the focus back: the editor ignores all but presses
    EntryRepainted = 2,  // the editor was repainted around the box on this tick
    EntryCancel = 3,     // close on the next tick without using the text
    EntryCommit = 4,     // close on the next tick and use the text
  };

  explicit IGraphicsWin(IPlugBase* plug, int width = kEditorWidth, int height = kEditorHeight,
                        int fps = kFramesPerSecond);
  ~IGraphicsWin() override;

  // The module (HINSTANCE) the window class, the windows and the resources
  // belong to: the plug-in library, or a test program.
  void SetModuleInstance(void* instance) { mModule = instance; }
  void* ModuleInstance() const { return mModule; }

  bool PresentArea(const PixelRect& area) override;
  void CancelTextEntry() override { mEntryState = EntryCancel; }
  void SetEditorSize(int width, int height) override;
  const char* BackendName() override { return "Windows GDI"; }
  int ShowMessage(const char* text, const char* caption, int type) override;
  PopupMenu* RunPopupMenu(PopupMenu& menu, const PixelRect& rect) override;
  void BeginTextEntry(IControl* control, const TextStyle& style, const PixelRect& rect, const char* text,
                      ParamRecord* param) override;
  void HostFolder(std::string& folder) override;
  void PluginFolder(std::string& folder) override;
  bool LaunchUrl(const char* address, const char* caption, const char* confirmation, const char* error) override;
  // Opens at the scale in effect (RefreshScale with `parent`).
  void* OpenEditorWindow(void* parent) override;
  void CloseEditorWindow() override;
  void* EditorWindowHandle() override { return mWindow; }
  void HideCursor() override;
  void RestoreCursor() override;
  LICE_IBitmap* LoadImageResource(int id, const char* name) override;
  // The DPI of the host's window (of the screen without one), 96 being 1,
  // through functions looked up at run time (older Windows lack them).
  double SystemScale(void* parent) override;
  void WindowScaleChanged(int oldWidth, int oldHeight) override;

  // State of the text entry box, for tests and the window procedures.
  void* TextEntryBox() const { return mEntryBox; }
  int32_t TextEntryStateNow() const { return mEntryState; }

  // Process-wide: editor windows open now (the class is registered while
  // this is above zero).
  static int OpenWindowCount();

  struct Procs;  // the window procedures, in the .cpp

 private:
  void DestroyTextEntry();
  void WindowGone();
  void WindowDestroyedByOthers();
  void CommitOrCancelTextEntry();
  // Our window by (dw, dh) and, for formats whose hosts do not size it
  // themselves, the host's windows above it.
  void ResizeWindows(int dw, int dh);

  void* mModule = nullptr;
  void* mWindow = nullptr;
  void* mEntryBox = nullptr;
  IControl* mEntryControl = nullptr;
  ParamRecord* mEntryParam = nullptr;
  intptr_t mEntryPreviousProc = 0;
  int32_t mEntryState = EntryIdle;
  void* mParent = nullptr;
  void* mMessageOwner = nullptr;
  void* mEntryFont = nullptr;  // made for the box, deleted after it
  bool mCursorHidden = false;
  int mCursorX = 0;
  int mCursorY = 0;
};
