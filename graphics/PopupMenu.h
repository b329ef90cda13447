// The menu a window shows with RunPopupMenu: items with optional submenus,
// numbered depth first so that one command number names one item of the
// whole tree. Owned by whoever builds it; items own their submenus.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class PopupMenu;

struct PopupMenuItem {
  enum Flags : int32_t { kGrayed = 1, kDisabled = 2, kChecked = 4, kSeparator = 8 };

  std::string text;
  std::unique_ptr<PopupMenu> submenu;
  int32_t flags = 0;
};

// One line of a built menu, in the order the window appends them.
struct PopupMenuEntry {
  int command;      // the item's number in the depth-first numbering
  int depth;        // 0 for the top menu
  std::string label;  // text with its number prefix; empty for separators
  int32_t flags;
  bool opensSubmenu;
};

class PopupMenu {
 public:
  // Submenus nested deeper than this are not shown and take no numbers, so
  // building and searching stay bounded for any tree.
  static constexpr int kMaxDepth = 32;

  explicit PopupMenu(int32_t numberingPrefix = 0) : mPrefix(numberingPrefix) {}
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;

  // Inserts before `position`; a negative position or one beyond the end
  // appends. The menu takes ownership of the submenu.
  PopupMenuItem* AddItem(const char* text, int position = -1, int32_t flags = 0);
  // Not used by this effect's menus.
  PopupMenuItem* AddSubmenu(const char* text, PopupMenu* submenu, int position = -1);
  PopupMenuItem* AddSeparator(int position = -1);

  int NumItems() const { return static_cast<int>(mItems.size()); }
  PopupMenuItem* Item(int position);
  const PopupMenuItem* Item(int position) const;

  int32_t NumberingPrefix() const { return mPrefix; }
  void SetNumberingPrefix(int32_t prefix) { mPrefix = prefix; }
  int32_t ChosenIndex() const { return mChosen; }
  void SetChosenIndex(int32_t index) { mChosen = index; }

  // The label shown for an item: its text, or "N: text" in the prefix's
  // format with N counting from 1.
  std::string LabelFor(int position) const;

  // The (sub)menu holding command number `command` of this tree (this menu
  // numbered from 0) and the item's position in it; null when none does.
  PopupMenu* FindCommand(int command, int* position);

  // Every line of the tree in building order.
  std::vector<PopupMenuEntry> Entries() const;

 private:
  PopupMenuItem* Insert(std::unique_ptr<PopupMenuItem> item, int position);
  PopupMenu* FindFrom(int command, int* next, int depth, int* position);
  void ListFrom(std::vector<PopupMenuEntry>& out, int* next, int depth) const;

  int32_t mPrefix;
  int32_t mChosen = -1;
  std::vector<std::unique_ptr<PopupMenuItem>> mItems;
};
