// The program selector of the bottom strip: the current program's number
// and name, read from the plug-in at every paint. A press on the number box
// lists every program to switch to; a press on the name renames it.
#pragma once

#include <string>

#include "graphics/IControl.h"

class IQVPresetMenu : public IControl {
 public:
  static constexpr int kShownNameLength = 32;

  IQVPresetMenu(IPlugBase* plug, const PixelRect& numberBox, const PixelRect& nameField);
  ~IQVPresetMenu() override;
  void OnPress(int x, int y, const MouseModifiers& mods) override;
  bool Paint(IGraphics* graphics) override;
  void OnTextEntered(const char* text) override;
  // Also when the program or its name changed since the last paint: hosts
  // switch and rename programs without telling the editor.
  bool NeedsPaint() override;

  const std::string& NumberText() const { return mNumberText; }
  const std::string& NameText() const { return mNameText; }

 private:
  void RunPresetMenu(IGraphics* graphics);
  const char* CurrentName() const;
  void ComposeTexts(std::string& number, std::string& name) const;

  std::string mNumberText;
  std::string mNameText;
  PixelRect mNumberBox;
  PixelRect mNameField;
};
