// The recall list: MenuEntries keeps a bounded list of texts with selected flags and
// mirrors it as items under a parent menu item; RecentFiles adds loading and saving the list under
// a settings key ("History0", "History1", ...). Menu items here are plain records that a view
// renders. Owned by the main-window controller; event thread only.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SettingsStore.h"

namespace tarsil {

struct MenuItemRecord {
  std::string name;     // the owning component's name + the entry number, or + "Bar"
  std::string caption;  // "&0 D:\jobs\a.fcs"; "-" for a separator
  int tag = -1;         // entry number; -1 for items that are not entries
  bool enabled = true;
  bool operator==(const MenuItemRecord&) const = default;
};

// The sub-items of a menu item, in order.
using MenuItemList = std::vector<MenuItemRecord>;

class MenuEntries {
 public:
  explicit MenuEntries(std::string name);
  virtual ~MenuEntries() = default;

  int Count() const { return count_; }
  void SetCount(int count) { count_ = count; }
  MenuItemList* ParentMenuItem() const { return parent_; }
  void SetParentMenuItem(MenuItemList* parent) { parent_ = parent; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool SelectErase() const { return select_erase_; }
  void SetSelectErase(bool on) { select_erase_ = on; }
  bool MultiSelect() const { return multi_select_; }
  void SetMultiSelect(bool on) { multi_select_ = on; }

  // An entry was chosen: the menu item and its text.
  std::function<void(const MenuItemRecord&, const std::string&)> OnSelected;
  // May change the text shown for an entry.
  std::function<void(std::string&)> OnSetCaption;
  // Told after the items under the parent changed (for views).
  std::function<void()> on_menu_changed;

  // Inserts at the top (or at `position`), dropping an equal entry (letter case ignored) or,
  // when the list is full, the last one; then rebuilds the menu.
  void Add(std::string_view text) { Insert(0, text); }
  void Insert(int position, std::string_view text);
  // Clears the selected flag of `text`, or of every entry when it is empty; then rebuilds.
  void ClearSelection(std::string_view text);
  // A click on the item with this tag; out-of-range tags do nothing.
  void Click(int tag);

  std::vector<std::string> Entries() const;
  bool Selected(int index) const { return entries_.at(index).selected; }
  const std::string& LastChosen() const { return last_chosen_; }

 protected:
  struct Entry {
    std::string text;
    bool selected = false;
  };
  void InsertEntry(int position, std::string_view text);
  void Rebuild();
  void ClearEntries() { entries_.clear(); }
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  void BuildMenu();
  void RemoveMenu();
  int IndexOf(std::string_view text) const;

  std::string name_;
  int count_ = 10;
  MenuItemList* parent_ = nullptr;
  bool visible_ = true;
  bool select_erase_ = false;
  bool multi_select_ = false;
  std::vector<Entry> entries_;
  std::string last_chosen_;
};

class RecentFiles : public MenuEntries {
 public:
  explicit RecentFiles(std::string name);

  const std::string& RegistryKey() const { return registry_key_; }
  void SetRegistryKey(std::string key) { registry_key_ = std::move(key); }

  // The list from the store (the key is created, missing values are written empty). Throws
  // SettingsError.
  void Load(SettingsStore& store);
  // Every value "History" + n written: the entries, then empty ones. Throws SettingsError.
  void Save(SettingsStore& store) const;

 private:
  std::string registry_key_;
};

}  // namespace tarsil
