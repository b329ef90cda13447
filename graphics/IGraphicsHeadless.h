// A window class without an OS window, for tests: presenting copies the
// surface into a kept "window" bitmap, the timer is Tick(), and popup menus,
// message boxes, text entry and the browser are answered from a script the
// test fills, while every request is recorded.
//
// Threads: like a real window, everything but PushParameterValue runs on the
// thread that opened the "window".
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "graphics/IGraphics.h"

class IGraphicsHeadless : public IGraphics {
 public:
  // Text entry box states, as the Windows class has them.
  enum EntryState : int32_t { kEntryIdle = 0, kEntryRepainted = 2, kEntryCancel = 3, kEntryCommit = 4 };

  struct Script {
    std::deque<int> messageAnswers;  // ShowMessage; kAnswerOk when empty
    std::deque<int> menuChoices;     // command numbers; negative or empty: nothing chosen
    // What the user types into the next box, then Enter; nullopt is Escape.
    // With nothing scripted the box stays open.
    std::deque<std::optional<std::string>> typedTexts;
    std::deque<bool> browserOpens;   // whether the browser opened; true when empty
    // Images by id; null or unset gives none.
    std::function<LICE_IBitmap*(int id, const char* name)> imageSource;
    // What the "system" says the scale is (0: nothing).
    double systemScale = 0.0;
  };

  struct MessageRecord {
    std::string text;
    std::string caption;
    int type;
  };
  struct MenuRecord {
    std::vector<PopupMenuEntry> entries;
    PixelRect rect;
  };
  struct TextEntryRecord {
    IControl* control;
    TextStyle style;
    PixelRect rect;
    std::string initialText;
    ParamRecord* param;
    int limit;              // characters the box accepts
    std::string committed;  // the text applied, after filtering and the limit
    bool cancelled = false;
    bool closed = false;
  };
  struct UrlRecord {
    std::string address;
    bool opened;
  };

  explicit IGraphicsHeadless(IPlugBase* plug, int width = kEditorWidth, int height = kEditorHeight,
                             int fps = kFramesPerSecond);
  ~IGraphicsHeadless() override;

  bool PresentArea(const PixelRect& area) override;
  void CancelTextEntry() override;
  void SetEditorSize(int width, int height) override;
  const char* BackendName() override { return "Headless"; }
  int ShowMessage(const char* text, const char* caption, int type) override;
  PopupMenu* RunPopupMenu(PopupMenu& menu, const PixelRect& rect) override;
  void BeginTextEntry(IControl* control, const TextStyle& style, const PixelRect& rect, const char* text,
                      ParamRecord* param) override;
  void HostFolder(std::string& folder) override { folder.clear(); }
  void PluginFolder(std::string& folder) override;
  bool LaunchUrl(const char* address, const char* caption, const char* confirmation, const char* error) override;
  void* OpenEditorWindow(void* parent) override;
  void CloseEditorWindow() override;
  void* EditorWindowHandle() override { return mWindow; }
  LICE_IBitmap* LoadImageResource(int id, const char* name) override;
  double SystemScale(void* parent) override { return mScript.systemScale; }
  void WindowScaleChanged(int oldWidth, int oldHeight) override;

  // One tick of the repaint timer (does nothing while closed).
  void Tick();

  Script& GetScript() { return mScript; }
  const std::vector<MessageRecord>& Messages() const { return mMessages; }
  const std::vector<MenuRecord>& Menus() const { return mMenus; }
  const std::vector<TextEntryRecord>& TextEntries() const { return mEntries; }
  const std::vector<UrlRecord>& Urls() const { return mUrls; }
  const std::vector<PixelRect>& PresentedAreas() const { return mPresented; }
  void ClearPresentedAreas() { mPresented.clear(); }
  bool TextEntryOpen() const { return mEntryOpen; }
  int32_t TextEntryState() const { return mEntryState; }
  void* Parent() const { return mParent; }
  // What the window shows, in window pixels (0 where nothing was shown).
  PackedPixel WindowPixel(int x, int y) const;
  LICE_IBitmap* WindowPixels() { return &mWindowPixels; }
  // Window sizes the scale gave the window, in order.
  const std::vector<std::pair<int, int>>& WindowResizes() const { return mResizes; }
  int OpenCount() const { return mOpenCount; }

 private:
  void FinishTextEntry(bool commit);

  Script mScript;
  std::vector<MessageRecord> mMessages;
  std::vector<MenuRecord> mMenus;
  std::vector<TextEntryRecord> mEntries;
  std::vector<UrlRecord> mUrls;
  std::vector<PixelRect> mPresented;
  LICE_MemBitmap mWindowPixels;
  void* mWindow = nullptr;
  void* mParent = nullptr;
  bool mEntryOpen = false;
  int32_t mEntryState = kEntryIdle;
  std::string mEntryText;  // what the box holds when committed
  int mOpenCount = 0;
  std::vector<std::pair<int, int>> mResizes;
};
