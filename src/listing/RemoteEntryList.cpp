#include "listing/RemoteEntryList.h"

#include <array>
#include <stdexcept>

namespace tarsil {
namespace {

constexpr int kStoredFields = 8;

void AppendField(std::string& bytes, std::string_view field) {
  size_t length = field.size();
  while (length >= 0x80) {
    bytes.push_back(static_cast<char>(0x80 | (length & 0x7F)));
    length >>= 7;
  }
  bytes.push_back(static_cast<char>(length));
  bytes.append(field);
}

// The field at `pos` (moved past it).
std::string_view NextField(const std::string& bytes, size_t& pos) {
  size_t length = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(bytes[pos++]);
    length |= static_cast<size_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) break;
  }
  const std::string_view field = std::string_view(bytes).substr(pos, length);
  pos += length;
  return field;
}

}  // namespace

void RemoteEntryList::AddEntry(std::string_view file_name, std::string_view attributes,
                               std::string_view date, std::string_view size, std::string_view link,
                               std::string_view owner, std::string_view group,
                               std::string_view description) {
  starts_.push_back(bytes_.size());
  for (std::string_view field :
       {file_name, attributes, date, size, link, owner, group, description}) {
    AppendField(bytes_, field);
  }
}

size_t RemoteEntryList::StartOf(int index) const {
  if (index < 0 || index >= Count()) {
    throw std::out_of_range("list index out of bounds (" + std::to_string(index) + ")");
  }
  return starts_[static_cast<size_t>(index)];
}

RemoteEntry RemoteEntryList::GetEntry(int index) const {
  size_t pos = StartOf(index);
  std::array<std::string_view, kStoredFields> fields;
  for (std::string_view& field : fields) field = NextField(bytes_, pos);
  RemoteEntry entry;
  entry.FileName = fields[0];
  entry.Attributes = fields[1];
  entry.Date = fields[2];
  entry.Size = fields[3];
  entry.Link = fields[4];
  entry.Owner = fields[5];
  entry.Group = fields[6];
  entry.Description = fields[7];
  return entry;
}

std::string_view RemoteEntryList::FileNameAt(int index) const {
  size_t pos = StartOf(index);
  return NextField(bytes_, pos);
}

void RemoteEntryList::ClearEntries() {
  bytes_.clear();
  starts_.clear();
}

void RemoteEntryList::AssignFrom(const RemoteEntryList& other) {
  if (&other == this) return;
  bytes_ = other.bytes_;
  starts_ = other.starts_;
}

void RemoteEntryList::ShrinkToFit() {
  bytes_.shrink_to_fit();
  starts_.shrink_to_fit();
}

}  // namespace tarsil
