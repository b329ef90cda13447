#include "graphics/PopupMenu.h"

#include <cstdio>

PopupMenuItem* PopupMenu::Insert(std::unique_ptr<PopupMenuItem> item, int position) {
  PopupMenuItem* raw = item.get();
  if (position < 0 || position >= NumItems())
    mItems.push_back(std::move(item));
  else
    mItems.insert(mItems.begin() + position, std::move(item));
  return raw;
}

PopupMenuItem* PopupMenu::AddItem(const char* text, int position, int32_t flags) {
  auto item = std::make_unique<PopupMenuItem>();
  item->text = text != nullptr ? text : "";
  item->flags = flags;
  return Insert(std::move(item), position);
}

PopupMenuItem* PopupMenu::AddSubmenu(const char* text, PopupMenu* submenu, int position) {
  PopupMenuItem* item = AddItem(text, position, 0);
  item->submenu.reset(submenu);
  return item;
}

PopupMenuItem* PopupMenu::AddSeparator(int position) {
  return AddItem("", position, PopupMenuItem::kSeparator);
}

PopupMenuItem* PopupMenu::Item(int position) {
  return position >= 0 && position < NumItems() ? mItems[static_cast<size_t>(position)].get() : nullptr;
}

const PopupMenuItem* PopupMenu::Item(int position) const {
  return position >= 0 && position < NumItems() ? mItems[static_cast<size_t>(position)].get() : nullptr;
}

std::string PopupMenu::LabelFor(int position) const {
  const PopupMenuItem* item = Item(position);
  if (item == nullptr) return std::string();
  const char* format = mPrefix == 1 ? "%1d: %s" : mPrefix == 2 ? "%02d: %s" : mPrefix == 3 ? "%03d: %s" : nullptr;
  if (format == nullptr) return item->text;
  const int needed = std::snprintf(nullptr, 0, format, position + 1, item->text.c_str());
  if (needed < 0) return item->text;
  std::string label(static_cast<size_t>(needed) + 1, '\0');
  std::snprintf(&label[0], label.size(), format, position + 1, item->text.c_str());
  label.resize(static_cast<size_t>(needed));
  return label;
}

// A menu reserves one number per item before any of its submenus reserves
// theirs; the same walk serves building, listing and searching.
PopupMenu* PopupMenu::FindFrom(int command, int* next, int depth, int* position) {
  const int start = *next;
  *next += NumItems();
  if (command >= start && command < *next) {
    *position = command - start;
    return this;
  }
  if (depth + 1 >= kMaxDepth) return nullptr;
  for (auto& item : mItems) {
    if (!item->submenu || (item->flags & PopupMenuItem::kSeparator)) continue;
    if (PopupMenu* found = item->submenu->FindFrom(command, next, depth + 1, position)) return found;
  }
  return nullptr;
}

PopupMenu* PopupMenu::FindCommand(int command, int* position) {
  int next = 0;
  int at = -1;
  PopupMenu* owner = FindFrom(command, &next, 0, &at);
  if (position != nullptr) *position = owner != nullptr ? at : -1;
  return owner;
}

void PopupMenu::ListFrom(std::vector<PopupMenuEntry>& out, int* next, int depth) const {
  const int start = *next;
  *next += NumItems();
  for (int p = 0; p < NumItems(); ++p) {
    const PopupMenuItem& item = *mItems[static_cast<size_t>(p)];
    if (item.flags & PopupMenuItem::kSeparator) {
      out.push_back(PopupMenuEntry{start + p, depth, std::string(), item.flags, false});
      continue;
    }
    const bool opens = item.submenu && depth + 1 < kMaxDepth;
    out.push_back(PopupMenuEntry{start + p, depth, LabelFor(p), item.flags, opens});
    if (opens) item.submenu->ListFrom(out, next, depth + 1);
  }
}

std::vector<PopupMenuEntry> PopupMenu::Entries() const {
  std::vector<PopupMenuEntry> out;
  int next = 0;
  ListFrom(out, &next, 0);
  return out;
}
