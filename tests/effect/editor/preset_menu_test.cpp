// The program selector: number and name painted from the plug-in, the menu
// of all 32 programs with one check mark, switching (the program left keeps
// its edits, the host is told), renaming through the text box, and the
// click areas.
#include "effect/editor/IQVPresetMenu.h"
#include "tests/effect/editor/EditorTestSupport.h"

namespace edtest {
namespace {

using PresetMenu = EditorTest;

IQVPresetMenu* Menu(IGraphicsHeadless* editor) { return static_cast<IQVPresetMenu*>(editor->GetControl(kPresetMenu)); }

TEST_F(PresetMenu, MenuListsEveryProgramWithTheCurrentOneChecked) {
  Dispatch(effSetProgram, 0, 7);
  Open();
  EXPECT_EQ(Menu(editor)->NumberText(), "07");
  EXPECT_EQ(Menu(editor)->NameText(), plug->PresetName(7));
  Click(25, 362);  // the number box; nothing chosen
  ASSERT_EQ(editor->Menus().size(), 1u);
  const auto& menu = editor->Menus()[0];
  ASSERT_EQ(menu.entries.size(), 32u);
  int checked = 0;
  for (int i = 0; i < 32; ++i) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%02d: %s", i, plug->PresetName(i));
    expected[32] = '\0';
    EXPECT_EQ(menu.entries[static_cast<size_t>(i)].label, expected);
    if (menu.entries[static_cast<size_t>(i)].flags & PopupMenuItem::kChecked) {
      ++checked;
      EXPECT_EQ(i, 7);
    }
  }
  EXPECT_EQ(checked, 1);
  // The menu hangs from the control's left-bottom corner.
  EXPECT_TRUE(SameRect(menu.rect, PixelRect{17, 355, 245, 371}));
  EXPECT_EQ(plug->CurrentPresetIndex(), 7) << "dismissed: nothing changes";
  EXPECT_EQ(CountHostCalls(audioMasterUpdateDisplay), 0);
}

TEST_F(PresetMenu, ChoosingSwitchesProgramKeepsTheEditsOfTheOneLeftAndTellsTheHost) {
  Open();
  SetParam(kMixL, 0.125f);  // an edit to program 0
  HostCalls().clear();
  editor->GetScript().menuChoices.push_back(12);
  Click(25, 362);
  EXPECT_EQ(plug->CurrentPresetIndex(), 12);
  EXPECT_GE(CountHostCalls(audioMasterUpdateDisplay), 1);
  EXPECT_GE(CountHostCalls(audioMasterAutomate), kNumVeltraneParams) << "every parameter reported";
  EXPECT_EQ(StatusText(), "Version 2.0.3");
  Tick();
  EXPECT_EQ(Menu(editor)->NumberText(), "12");
  EXPECT_DOUBLE_EQ(Control(kMixLFader)->Value(), plug->ParamAt(kMixL)->NormalizedValue());

  // Back to 0 through the menu: the edit stayed with it.
  editor->GetScript().menuChoices.push_back(0);
  Click(41, 362);  // the gap between the box and the name field opens the menu too
  EXPECT_EQ(plug->CurrentPresetIndex(), 0);
  EXPECT_NEAR(Param(kMixL), 0.125, 1e-6);
  EXPECT_EQ(editor->TextEntries().size(), 0u);

  // The current program chosen again is stored and reloaded as it is.
  double before[kNumVeltraneParams];
  for (int i = 0; i < kNumVeltraneParams; ++i) before[i] = Param(i);
  HostCalls().clear();
  editor->GetScript().menuChoices.push_back(0);
  Click(25, 362);
  for (int i = 0; i < kNumVeltraneParams; ++i) EXPECT_NEAR(Param(i), before[i], 1e-6) << i;
  EXPECT_GE(CountHostCalls(audioMasterUpdateDisplay), 1);
  // The whole editor is repainted after the menu.
  for (int i = 0; i < editor->NumControls(); ++i) EXPECT_TRUE(Control(i)->NeedsPaint()) << i;
}

TEST_F(PresetMenu, RenamingThroughTheTextBox) {
  Open();
  editor->GetScript().typedTexts.push_back(std::string("Bell Tower"));
  SetParam(kVolumeL, 0.75f);
  HostCalls().clear();
  const std::string before = plug->PresetName(0);
  Click(150, 362);  // the name field
  ASSERT_EQ(editor->TextEntries().size(), 1u);
  const auto& entry = editor->TextEntries()[0];
  EXPECT_TRUE(SameRect(entry.rect, PixelRect{45, 355, 245, 371}));
  EXPECT_EQ(entry.initialText, before);
  EXPECT_EQ(entry.param, nullptr);
  EXPECT_EQ(entry.limit, 253);
  Tick();  // the box closes on the next tick and commits
  EXPECT_STREQ(plug->PresetName(0), "Bell Tower");
  EXPECT_GE(CountHostCalls(audioMasterUpdateDisplay), 1);
  // The rename stored the current state: leaving and coming back keeps it.
  Dispatch(effSetProgram, 0, 1);
  Dispatch(effSetProgram, 0, 0);
  EXPECT_NEAR(plug->ParamAt(kVolumeL)->NormalizedValue(), 0.75, 1e-6);
  Tick();
  EXPECT_EQ(Menu(editor)->NameText(), "Bell Tower");

  // An empty box keeps the name but still stores the state.
  SetParam(kMixR, 0.875f);
  editor->GetScript().typedTexts.push_back(std::string());
  Click(150, 362);
  Tick();
  EXPECT_STREQ(plug->PresetName(0), "Bell Tower");
  Dispatch(effSetProgram, 0, 1);
  Dispatch(effSetProgram, 0, 0);
  EXPECT_NEAR(plug->ParamAt(kMixR)->NormalizedValue(), 0.875, 1e-6);

  // Escape calls nothing.
  HostCalls().clear();
  editor->GetScript().typedTexts.push_back(std::nullopt);
  Click(150, 362);
  Tick();
  EXPECT_STREQ(plug->PresetName(0), "Bell Tower");
  EXPECT_EQ(CountHostCalls(audioMasterUpdateDisplay), 0);
}

TEST_F(PresetMenu, LongNamesAreCutForTheFieldAndTheMenu) {
  const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
  ASSERT_EQ(forty.size(), 40u);
  plug->ModifyCurrentPreset(forty.c_str());
  ASSERT_EQ(std::string(plug->PresetName(0)), forty);
  Open();
  EXPECT_EQ(Menu(editor)->NameText(), forty.substr(0, 32));
  Click(25, 362);
  ASSERT_EQ(editor->Menus().size(), 1u);
  EXPECT_EQ(editor->Menus()[0].entries[0].label, "00: " + forty.substr(0, 28));
  // The rename box starts from the whole name.
  Click(150, 362);
  ASSERT_EQ(editor->TextEntries().size(), 1u);
  EXPECT_EQ(editor->TextEntries()[0].initialText, forty);
}

}  // namespace
}  // namespace edtest
