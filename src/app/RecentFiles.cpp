#include "app/RecentFiles.h"

#include <algorithm>

#include "platform/CodePage.h"

namespace tarsil {
namespace {

// "&0".."&9", then "&A" for 10, "&B" for 11 and so on.
std::string AcceleratorText(int index) {
  std::string text = "&";
  text += static_cast<char>(index < 10 ? '0' + index : index + 55);
  return text;
}

}  // namespace

MenuEntries::MenuEntries(std::string name) : name_(std::move(name)) {}

int MenuEntries::IndexOf(std::string_view text) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (SameTextAscii(entries_[i].text, text)) return static_cast<int>(i);
  }
  return -1;
}

void MenuEntries::InsertEntry(int position, std::string_view text) {
  if (int found = IndexOf(text); found >= 0) {
    entries_.erase(entries_.begin() + found);
  } else if (!entries_.empty() && static_cast<int>(entries_.size()) >= count_) {
    entries_.pop_back();
  }
  position = std::clamp(position, 0, static_cast<int>(entries_.size()));
  entries_.insert(entries_.begin() + position, Entry{std::string(text), false});
}

void MenuEntries::Insert(int position, std::string_view text) {
  InsertEntry(position, text);
  if (visible_) Rebuild();
}

void MenuEntries::ClearSelection(std::string_view text) {
  for (Entry& entry : entries_) {
    if (text.empty() || SameTextAscii(entry.text, text)) entry.selected = false;
  }
  if (visible_) Rebuild();
}

void MenuEntries::Click(int tag) {
  if (tag < 0 || tag >= static_cast<int>(entries_.size())) return;
  if (!(select_erase_ && multi_select_)) {
    for (Entry& entry : entries_) entry.selected = false;
  }
  entries_[tag].selected = true;
  last_chosen_ = entries_[tag].text;
  // The handler may change the list (opening a file adds it again), so keep what it needs.
  const std::string chosen = last_chosen_;
  MenuItemRecord item;
  if (parent_ != nullptr) {
    auto it = std::find_if(parent_->begin(), parent_->end(), [&](const MenuItemRecord& record) {
      return record.tag == tag && record.name == name_ + std::to_string(tag);
    });
    if (it != parent_->end()) item = *it;
  }
  if (visible_) Rebuild();
  if (OnSelected) OnSelected(item, chosen);
}

std::vector<std::string> MenuEntries::Entries() const {
  std::vector<std::string> texts;
  for (const Entry& entry : entries_) texts.push_back(entry.text);
  return texts;
}

void MenuEntries::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (visible_) {
    BuildMenu();
  } else {
    RemoveMenu();
  }
}

void MenuEntries::Rebuild() {
  SetVisible(false);
  SetVisible(true);
}

void MenuEntries::BuildMenu() {
  if (parent_ == nullptr) return;
  if (!parent_->empty() && !entries_.empty()) {
    parent_->push_back(MenuItemRecord{name_ + "Bar", "-", -1, true});
  }
  for (size_t i = 0; i < entries_.size(); ++i) {
    std::string text = entries_[i].text;
    if (OnSetCaption) OnSetCaption(text);
    MenuItemRecord item;
    item.name = name_ + std::to_string(i);
    item.caption = AcceleratorText(static_cast<int>(i)) + " " + text;
    item.tag = static_cast<int>(i);
    item.enabled = !(select_erase_ && entries_[i].selected);
    parent_->push_back(std::move(item));
  }
  if (on_menu_changed) on_menu_changed();
}

void MenuEntries::RemoveMenu() {
  if (parent_ == nullptr) return;
  std::erase_if(*parent_,
                [this](const MenuItemRecord& item) { return item.name.starts_with(name_); });
  if (on_menu_changed) on_menu_changed();
}

RecentFiles::RecentFiles(std::string name) : MenuEntries(std::move(name)) { SetSelectErase(true); }

void RecentFiles::Load(SettingsStore& store) {
  // Missing keys and values are written empty, as the list has always done; a store this run may
  // only read is left as it is (the reads above each write have already found it readable).
  auto write_if_possible = [](auto write) {
    try {
      write();
    } catch (const SettingsError&) {
    }
  };
  if (!store.KeyExists(registry_key_)) {
    write_if_possible([&] { store.CreateKey(registry_key_); });
  }
  ClearEntries();
  for (int n = Count() - 1; n >= 0; --n) {
    const std::string name = "History" + std::to_string(n);
    std::optional<std::string> value = store.ReadString(registry_key_, name);
    if (!value) write_if_possible([&] { store.WriteString(registry_key_, name, ""); });
    if (value && !value->empty()) InsertEntry(0, *value);
  }
  if (Visible()) Rebuild();
}

void RecentFiles::Save(SettingsStore& store) const {
  store.CreateKey(registry_key_);
  // Every value ends up as the entry of its number or empty; values that already hold what they
  // should are left alone, so that an unchanged list costs no rewrite of the store.
  for (int n = 0; n < Count(); ++n) {
    const std::string name = "History" + std::to_string(n);
    const std::string wanted =
        n < static_cast<int>(entries().size()) ? entries()[n].text : std::string();
    std::optional<std::string> current;
    try {
      current = store.ReadString(registry_key_, name);
    } catch (const SettingsError&) {
      // A value of another type is simply replaced.
    }
    if (current != wanted) store.WriteString(registry_key_, name, wanted);
  }
}

}  // namespace tarsil
