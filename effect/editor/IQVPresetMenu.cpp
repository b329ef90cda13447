#include "effect/editor/IQVPresetMenu.h"

#include <cstdio>

#include "graphics/IGraphics.h"
#include "plugin/IPlugBase.h"

namespace {

TextStyle PresetMenuStyle() {
  TextStyle style;
  style.SetFace("Arial");
  style.size = 14;
  style.color = ArgbColor{192, 255, 255, 255};
  style.alignment = kAlignCenter;
  return style;
}

}  // namespace

IQVPresetMenu::IQVPresetMenu(IPlugBase* plug, const PixelRect& numberBox, const PixelRect& nameField)
    : IControl(plug, RectUnion(numberBox, nameField), -1, BlendStandard),
      mNumberBox(numberBox),
      mNameField(nameField) {
  mTextEntryLength = 253;
  mStyle = PresetMenuStyle();
}

IQVPresetMenu::~IQVPresetMenu() = default;

const char* IQVPresetMenu::CurrentName() const {
  const int current = mPlug->CurrentPresetIndex();
  return current >= 0 && current < mPlug->NumPresets() ? mPlug->PresetName(current) : "";
}

void IQVPresetMenu::ComposeTexts(std::string& number, std::string& name) const {
  // Hosts rename and switch programs from their own threads, under the lock.
  CriticalSectionGuard guard(mPlug->Lock());
  char digits[33];
  std::snprintf(digits, sizeof digits, "%02d", mPlug->CurrentPresetIndex());
  number = digits;
  name.assign(CurrentName());
  if (name.size() > kShownNameLength) name.resize(kShownNameLength);
}

bool IQVPresetMenu::NeedsPaint() {
  if (IControl::NeedsPaint()) return true;
  std::string number, name;
  ComposeTexts(number, name);
  return number != mNumberText || name != mNameText;
}

bool IQVPresetMenu::Paint(IGraphics* graphics) {
  ComposeTexts(mNumberText, mNameText);
  if (mNumberText.empty()) return true;
  PixelRect box = mNumberBox;
  if (!graphics->RenderText(mStyle, mNumberText.c_str(), box, false)) return false;
  PixelRect field = mNameField;
  return graphics->RenderText(mStyle, mNameText.c_str(), field, false);
}

void IQVPresetMenu::OnPress(int x, int y, const MouseModifiers& mods) {
  IGraphics* graphics = mPlug->Editor();
  if (graphics == nullptr) return;
  if (RectContains(mNameField, x, y)) {
    std::string name;
    {
      CriticalSectionGuard guard(mPlug->Lock());
      name = CurrentName();
    }
    graphics->BeginTextEntry(this, mStyle, mNameField, name.c_str(), nullptr);
  } else {
    RunPresetMenu(graphics);  // the number box and the gap beside it
  }
  graphics->MarkAllDirty();
}

void IQVPresetMenu::RunPresetMenu(IGraphics* graphics) {
  PopupMenu menu(0);
  {
    CriticalSectionGuard guard(mPlug->Lock());
    const int current = mPlug->CurrentPresetIndex();
    for (int i = 0; i < mPlug->NumPresets(); ++i) {
      char item[33];
      std::snprintf(item, sizeof item, "%02u: %s", static_cast<unsigned>(i), mPlug->PresetName(i));
      menu.AddItem(item, -1, i == current ? PopupMenuItem::kChecked : 0);
    }
  }
  PopupMenu* chosen = graphics->RunPopupMenu(menu, mRect);
  if (chosen == nullptr || chosen->ChosenIndex() < 0) return;
  CriticalSectionGuard guard(mPlug->Lock());
  // The program being left keeps the edits made to it.
  mPlug->ModifyCurrentPreset(nullptr);
  mPlug->LoadPreset(chosen->ChosenIndex());
  mPlug->NotifyHostOfProgramChange();
  mPlug->NotifyHostOfAllParameters();
}

void IQVPresetMenu::OnTextEntered(const char* text) {
  char name[257];
  std::snprintf(name, sizeof name, "%s", text != nullptr ? text : "");
  mPlug->ModifyCurrentPreset(name);
  mPlug->NotifyHostOfProgramChange();
  mPlug->NotifyHostOfAllParameters();
  MarkDirty(false);
}
