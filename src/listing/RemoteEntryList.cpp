#include "listing/RemoteEntryList.h"

#include <stdexcept>

namespace tarsil {

void RemoteEntryList::AddEntry(std::string_view file_name, std::string_view attributes,
                               std::string_view date, std::string_view size, std::string_view link,
                               std::string_view owner, std::string_view group,
                               std::string_view description) {
  columns_[kAttributes].emplace_back(attributes);
  columns_[kDate].emplace_back(date);
  columns_[kReserved].emplace_back();
  columns_[kDescription].emplace_back(description);
  columns_[kFileName].emplace_back(file_name);
  columns_[kSize].emplace_back(size);
  columns_[kLink].emplace_back(link);
  columns_[kOwner].emplace_back(owner);
  columns_[kGroup].emplace_back(group);
  ++count_;
}

RemoteEntry RemoteEntryList::GetEntry(int index) const {
  if (index < 0 || index >= count_) {
    throw std::out_of_range("list index out of bounds (" + std::to_string(index) + ")");
  }
  const auto i = static_cast<size_t>(index);
  RemoteEntry entry;
  entry.Attributes = columns_[kAttributes][i];
  entry.Date = columns_[kDate][i];
  entry.Description = columns_[kDescription][i];
  entry.FileName = columns_[kFileName][i];
  entry.Size = columns_[kSize][i];
  entry.Link = columns_[kLink][i];
  entry.Owner = columns_[kOwner][i];
  entry.Group = columns_[kGroup][i];
  return entry;
}

void RemoteEntryList::ClearEntries() {
  for (auto& column : columns_) column.clear();
  count_ = 0;
}

void RemoteEntryList::AssignFrom(const RemoteEntryList& other) {
  // Clearing first would empty the source too when both are the same list.
  if (&other == this) return;
  ClearEntries();
  for (int i = 0; i < other.count_; ++i) {
    const RemoteEntry entry = other.GetEntry(i);
    AddEntry(entry.FileName, entry.Attributes, entry.Date, entry.Size, entry.Link, entry.Owner,
             entry.Group, entry.Description);
  }
}

}  // namespace tarsil
