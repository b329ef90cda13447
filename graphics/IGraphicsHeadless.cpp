#include "graphics/IGraphicsHeadless.h"

#include <cstring>

#include "graphics/IControl.h"
#include "platform/Module.h"

namespace {
// What the Windows box reads back: 31 characters and the terminator.
constexpr int kEntryReadLimit = 31;
}  // namespace

IGraphicsHeadless::IGraphicsHeadless(IPlugBase* plug, int width, int height, int fps)
    : IGraphics(plug, width, height, fps) {}

IGraphicsHeadless::~IGraphicsHeadless() { CloseEditorWindow(); }

bool IGraphicsHeadless::PresentArea(const PixelRect& area) {
  mPresented.push_back(area);
  LICE_SysBitmap* surface = Surface();
  if (surface == nullptr) return true;
  if (mWindowPixels.PixelWidth() != surface->PixelWidth() || mWindowPixels.PixelHeight() != surface->PixelHeight()) {
    mWindowPixels.SetSize(surface->PixelWidth(), surface->PixelHeight());
    if (PackedPixel* p = mWindowPixels.PixelBuffer())
      std::memset(p, 0, sizeof(PackedPixel) * static_cast<size_t>(mWindowPixels.RowSpanPixels()) *
                            static_cast<size_t>(mWindowPixels.PixelHeight()));
  }
  const SourceRect source{area.left, area.top, area.right, area.bottom};
  BlitBitmap(&mWindowPixels, surface, area.left, area.top, &source, 1.0f, BlendCopy);
  return true;
}

PackedPixel IGraphicsHeadless::WindowPixel(int x, int y) const {
  LICE_MemBitmap& pixels = const_cast<LICE_MemBitmap&>(mWindowPixels);
  if (x < 0 || y < 0 || x >= pixels.PixelWidth() || y >= pixels.PixelHeight() || pixels.PixelBuffer() == nullptr)
    return 0;
  return pixels.PixelBuffer()[static_cast<size_t>(y) * static_cast<size_t>(pixels.RowSpanPixels()) +
                              static_cast<size_t>(x)];
}

void IGraphicsHeadless::CancelTextEntry() {
  if (mEntryOpen) mEntryState = kEntryCancel;
}

void IGraphicsHeadless::SetEditorSize(int width, int height) {
  if (width == Width() && height == Height()) return;
  // The box's control is about to be deleted.
  if (mEntryOpen) FinishTextEntry(false);
  IGraphics::SetEditorSize(width, height);
}

void IGraphicsHeadless::WindowScaleChanged(int oldWidth, int oldHeight) {
  // The box sat at the old size; like the real windows, it goes.
  if (mEntryOpen) FinishTextEntry(false);
  if (mWindow != nullptr) mResizes.emplace_back(WindowWidth(), WindowHeight());
}

int IGraphicsHeadless::ShowMessage(const char* text, const char* caption, int type) {
  mMessages.push_back(MessageRecord{text != nullptr ? text : "", caption != nullptr ? caption : "", type});
  if (mScript.messageAnswers.empty()) return kAnswerOk;
  const int answer = mScript.messageAnswers.front();
  mScript.messageAnswers.pop_front();
  return answer;
}

PopupMenu* IGraphicsHeadless::RunPopupMenu(PopupMenu& menu, const PixelRect& rect) {
  DropMouseCapture();
  mMenus.push_back(MenuRecord{menu.Entries(), rect});
  if (mScript.menuChoices.empty()) return nullptr;
  const int command = mScript.menuChoices.front();
  mScript.menuChoices.pop_front();
  if (command < 0) return nullptr;
  // Only items a user can pick count: no separators, submenu titles,
  // greyed or disabled items.
  for (const PopupMenuEntry& entry : mMenus.back().entries) {
    if (entry.command != command) continue;
    if (entry.opensSubmenu || (entry.flags & (PopupMenuItem::kSeparator | PopupMenuItem::kGrayed |
                                              PopupMenuItem::kDisabled)))
      return nullptr;
    int position = -1;
    PopupMenu* owner = menu.FindCommand(command, &position);
    if (owner != nullptr) owner->SetChosenIndex(position);
    return owner;
  }
  return nullptr;
}

void IGraphicsHeadless::BeginTextEntry(IControl* control, const TextStyle& style, const PixelRect& rect,
                                       const char* text, ParamRecord* param) {
  if (control == nullptr || mEntryOpen || mWindow == nullptr) return;
  TextEntryRecord record;
  record.control = control;
  record.style = style;
  record.rect = rect;
  record.initialText = text != nullptr ? text : "";
  record.param = param;
  record.limit = control->TextEntryLength();
  mEntries.push_back(record);
  mEntryOpen = true;
  mEntryState = kEntryIdle;
  mEntryText = record.initialText;
  if (mScript.typedTexts.empty()) return;
  const std::optional<std::string> typed = mScript.typedTexts.front();
  mScript.typedTexts.pop_front();
  if (!typed) {
    mEntryState = kEntryCancel;
    return;
  }
  // Typing replaces the selected initial text, character by character
  // through the box's filter and limit.
  mEntryText.clear();
  for (char c : *typed) {
    if (c == 8) {
      if (!mEntryText.empty()) mEntryText.pop_back();
      continue;
    }
    if (!EntryAcceptsChar(param, static_cast<unsigned char>(c))) continue;
    if (static_cast<int>(mEntryText.size()) >= record.limit) continue;
    mEntryText.push_back(c);
  }
  mEntryState = kEntryCommit;
}

void IGraphicsHeadless::FinishTextEntry(bool commit) {
  TextEntryRecord& record = mEntries.back();
  IControl* control = record.control;
  ParamRecord* param = record.param;
  std::string text = mEntryText.substr(0, kEntryReadLimit);
  mEntryOpen = false;
  mEntryState = kEntryIdle;
  record.closed = true;
  if (commit) {
    record.committed = text;
    ApplyEnteredText(control, param, text.c_str());
  } else {
    record.cancelled = true;
  }
}

void IGraphicsHeadless::Tick() {
  if (mWindow == nullptr) return;
  if (mEntryOpen && (mEntryState == kEntryCommit || mEntryState == kEntryCancel)) {
    FinishTextEntry(mEntryState == kEntryCommit);
    return;
  }
  if (mEntryOpen && mEntryState == kEntryRepainted) {
    mEntryState = kEntryIdle;
    return;
  }
  PixelRect area{};
  if (CollectDirtyArea(area)) {
    PaintArea(area);
    if (mEntryOpen) mEntryState = kEntryRepainted;
  }
}

void IGraphicsHeadless::PluginFolder(std::string& folder) { folder = PluginModuleFolder(); }

bool IGraphicsHeadless::LaunchUrl(const char* address, const char* caption, const char* confirmation,
                                  const char* error) {
  if (confirmation != nullptr && ShowMessage(confirmation, caption, kMessageYesNo) != kAnswerYes) return false;
  bool opened = true;
  if (!mScript.browserOpens.empty()) {
    opened = mScript.browserOpens.front();
    mScript.browserOpens.pop_front();
  }
  mUrls.push_back(UrlRecord{address != nullptr ? address : "", opened});
  if (!opened && error != nullptr) ShowMessage(error, caption, kMessageOk);
  return opened;
}

void* IGraphicsHeadless::OpenEditorWindow(void* parent) {
  if (mWindow != nullptr) CloseEditorWindow();
  mParent = parent;
  if (parent == nullptr) return nullptr;  // a child window needs a parent
  RefreshScale(parent);
  mWindow = &mWindowPixels;
  ++mOpenCount;
  AdoptWindowThread();
  return mWindow;
}

void IGraphicsHeadless::CloseEditorWindow() {
  if (mWindow == nullptr) return;
  if (mEntryOpen) {
    mEntryOpen = false;
    mEntryState = kEntryIdle;
    mEntries.back().closed = true;
    mEntries.back().cancelled = true;
  }
  mWindow = nullptr;
  ReleaseWindowThread();
}

LICE_IBitmap* IGraphicsHeadless::LoadImageResource(int id, const char* name) {
  return mScript.imageSource ? mScript.imageSource(id, name) : nullptr;
}
