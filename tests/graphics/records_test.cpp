// The editor's records: rectangle rules, colours, blend words and popup
// menus with their depth-first numbering.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "graphics/GraphicsRecords.h"
#include "graphics/IControl.h"
#include "graphics/PopupMenu.h"

namespace {

PixelRect R(int l, int t, int r, int b) { return PixelRect{l, t, r, b}; }

::testing::AssertionResult Same(const PixelRect& a, const PixelRect& b) {
  if (SameRect(a, b)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.left << "," << a.top << "," << a.right << "," << a.bottom
                                       << ") != (" << b.left << "," << b.top << "," << b.right << "," << b.bottom
                                       << ")";
}

TEST(PixelRectRules, OnlyTheAllZeroRectangleIsEmpty) {
  EXPECT_TRUE(RectIsEmpty(R(0, 0, 0, 0)));
  EXPECT_FALSE(RectIsEmpty(R(5, 5, 5, 5)));  // zero area but not all zero
  EXPECT_FALSE(RectIsEmpty(R(0, 0, 0, 1)));
}

TEST(PixelRectRules, OverlapCountsTouchingEdgesOfTheFirstAndIsNotSymmetric) {
  const PixelRect area = R(10, 10, 20, 20);
  EXPECT_TRUE(RectOverlaps(area, R(20, 10, 30, 20)));   // A.right == B.left
  EXPECT_FALSE(RectOverlaps(R(20, 10, 30, 20), area));  // B.right == A.left does not
  EXPECT_TRUE(RectOverlaps(area, R(10, 20, 20, 30)));   // A.bottom == B.top
  EXPECT_FALSE(RectOverlaps(area, R(21, 10, 30, 20)));
  EXPECT_FALSE(RectOverlaps(area, R(0, 0, 0, 0)));
  EXPECT_FALSE(RectOverlaps(R(0, 0, 0, 0), area));
  EXPECT_TRUE(RectOverlaps(area, R(12, 12, 14, 14)));
}

TEST(PixelRectRules, IntersectionUnionAndPointTest) {
  EXPECT_TRUE(Same(RectIntersection(R(0, 0, 10, 10), R(5, 5, 20, 20)), R(5, 5, 10, 10)));
  EXPECT_TRUE(Same(RectIntersection(R(0, 0, 10, 10), R(11, 0, 20, 10)), R(0, 0, 0, 0)));
  EXPECT_TRUE(Same(RectIntersection(R(0, 0, 10, 10), R(10, 0, 20, 10)), R(10, 0, 10, 10)));  // touching
  EXPECT_TRUE(Same(RectUnion(R(0, 0, 0, 0), R(3, 4, 5, 6)), R(3, 4, 5, 6)));
  EXPECT_TRUE(Same(RectUnion(R(3, 4, 5, 6), R(0, 0, 0, 0)), R(3, 4, 5, 6)));
  EXPECT_TRUE(Same(RectUnion(R(3, 4, 5, 6), R(1, 8, 2, 9)), R(1, 4, 5, 9)));
  EXPECT_TRUE(RectContains(R(10, 10, 20, 20), 10, 10));
  EXPECT_FALSE(RectContains(R(10, 10, 20, 20), 20, 15));  // right is exclusive
  EXPECT_FALSE(RectContains(R(10, 10, 20, 20), 15, 20));  // bottom is exclusive
  EXPECT_FALSE(RectContains(R(0, 0, 0, 0), 0, 0));
}

TEST(GraphicsRecords, ColoursPackAndBlendWords) {
  EXPECT_EQ(kColorBlack.Packed(), 0xFF000000u);
  EXPECT_EQ(kColorWhite.Packed(), 0xFFFFFFFFu);
  EXPECT_EQ(kColorTransparent.Packed(), 0u);
  EXPECT_EQ((ArgbColor{0x12, 0x34, 0x56, 0x78}.Packed()), 0x12345678u);
  EXPECT_EQ(BlitWordFor(BlendStandard), BlendCopy | BlendUseSourceAlpha);
  EXPECT_EQ(BlitWordFor(BlendOpaque), BlendCopy);
  EXPECT_EQ(BlitWordFor(BlendAdditive), BlendAdd | BlendUseSourceAlpha);
  EXPECT_EQ(BlitWordFor(BlendColorDodge), BlendDodge | BlendUseSourceAlpha);
  EXPECT_EQ(BlitWordFor(17), BlendCopy | BlendUseSourceAlpha);
  EXPECT_EQ(BlitWordFor(-1), BlendCopy | BlendUseSourceAlpha);

  TextStyle style;
  EXPECT_STREQ(style.face, "Verdana");
  EXPECT_EQ(style.size, 12);
  EXPECT_EQ(style.alignment, kAlignCenter);
  style.SetFace("A face name much longer than thirty-one characters");
  EXPECT_EQ(std::string(style.face).size(), 31u);
}

TEST(FrameForValue, RoundsToTheNearestFrameWithinTheStrip) {
  EXPECT_EQ(FrameForValue(4, 0.5), 3);
  EXPECT_EQ(FrameForValue(4, 0.0), 1);
  EXPECT_EQ(FrameForValue(4, 1.0), 4);
  EXPECT_EQ(FrameForValue(4, 0.16), 1);  // 0.98 rounds down
  EXPECT_EQ(FrameForValue(4, 0.17), 2);  // 1.01
  EXPECT_EQ(FrameForValue(4, 7.0), 4);
  EXPECT_EQ(FrameForValue(4, -3.0), 1);
  EXPECT_EQ(FrameForValue(4, std::numeric_limits<double>::quiet_NaN()), 1);
  EXPECT_EQ(FrameForValue(1, 0.9), 1);
}

TEST(PopupMenu, InsertingBeyondTheEndAppendsAndPrefixesNumberFromOne) {
  PopupMenu menu(2);
  menu.AddItem("b");
  menu.AddItem("a", 0);
  menu.AddItem("c", 99);
  menu.AddItem("d", -1);
  ASSERT_EQ(menu.NumItems(), 4);
  EXPECT_EQ(menu.Item(0)->text, "a");
  EXPECT_EQ(menu.Item(2)->text, "c");
  EXPECT_EQ(menu.LabelFor(2), "03: c");
  menu.SetNumberingPrefix(1);
  EXPECT_EQ(menu.LabelFor(0), "1: a");
  menu.SetNumberingPrefix(3);
  EXPECT_EQ(menu.LabelFor(3), "004: d");
  menu.SetNumberingPrefix(0);
  EXPECT_EQ(menu.LabelFor(3), "d");
  menu.SetNumberingPrefix(7);  // not a numbering prefix
  EXPECT_EQ(menu.LabelFor(1), "b");
  EXPECT_EQ(menu.LabelFor(4), "");
  EXPECT_EQ(menu.ChosenIndex(), -1);
}

TEST(PopupMenu, NumbersTheTopMenuFirstThenEachSubmenuDepthFirst) {
  // top: a, b -> [c, d -> [e]], f -> [g]
  PopupMenu top;
  top.AddItem("a");
  PopupMenu* sub1 = new PopupMenu();
  sub1->AddItem("c");
  PopupMenu* sub2 = new PopupMenu();
  sub2->AddItem("e");
  sub1->AddSubmenu("d", sub2);
  top.AddSubmenu("b", sub1);
  PopupMenu* sub3 = new PopupMenu();
  sub3->AddItem("g");
  top.AddSubmenu("f", sub3);

  const std::vector<PopupMenuEntry> entries = top.Entries();
  const char* labels[] = {"a", "b", "c", "d", "e", "f", "g"};
  const int commands[] = {0, 1, 3, 4, 5, 2, 6};
  const int depths[] = {0, 0, 1, 1, 2, 0, 1};
  ASSERT_EQ(entries.size(), 7u);
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].label, labels[i]) << i;
    EXPECT_EQ(entries[i].command, commands[i]) << labels[i];
    EXPECT_EQ(entries[i].depth, depths[i]) << labels[i];
  }
  EXPECT_TRUE(entries[1].opensSubmenu);
  EXPECT_FALSE(entries[0].opensSubmenu);

  int position = -2;
  EXPECT_EQ(top.FindCommand(0, &position), &top);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(top.FindCommand(4, &position), sub1);
  EXPECT_EQ(position, 1);
  EXPECT_EQ(top.FindCommand(5, &position), sub2);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(top.FindCommand(6, &position), sub3);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(top.FindCommand(7, &position), nullptr);
  EXPECT_EQ(position, -1);
  EXPECT_EQ(top.FindCommand(-1, &position), nullptr);
}

TEST(PopupMenu, SeparatorsTakeANumberAndEmptyOrDeepMenusStayBounded) {
  PopupMenu menu;
  menu.AddItem("x");
  menu.AddSeparator();
  menu.AddItem("y", -1, PopupMenuItem::kChecked | PopupMenuItem::kGrayed);
  const std::vector<PopupMenuEntry> entries = menu.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].label, "");
  EXPECT_EQ(entries[1].flags, PopupMenuItem::kSeparator);
  EXPECT_EQ(entries[2].command, 2);
  EXPECT_EQ(entries[2].flags, PopupMenuItem::kChecked | PopupMenuItem::kGrayed);

  PopupMenu empty;
  EXPECT_TRUE(empty.Entries().empty());
  EXPECT_EQ(empty.FindCommand(0, nullptr), nullptr);

  // A chain of 200 nested submenus shows only the first levels.
  PopupMenu deep;
  PopupMenu* at = &deep;
  for (int level = 0; level < 200; ++level) {
    PopupMenu* next = new PopupMenu();
    at->AddSubmenu("level", next);
    at = next;
  }
  at->AddItem("bottom");
  const std::vector<PopupMenuEntry> shown = deep.Entries();
  EXPECT_EQ(static_cast<int>(shown.size()), PopupMenu::kMaxDepth);
  EXPECT_FALSE(shown.back().opensSubmenu);
  int position = 0;
  EXPECT_EQ(deep.FindCommand(PopupMenu::kMaxDepth - 1, &position) != nullptr, true);
  EXPECT_EQ(deep.FindCommand(PopupMenu::kMaxDepth, &position), nullptr);
}

}  // namespace
