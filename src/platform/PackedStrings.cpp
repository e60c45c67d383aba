#include "platform/PackedStrings.h"

namespace tarsil {

void PackedStrings::Add(std::string_view text) {
  bytes_.append(text);
  ends_.push_back(bytes_.size());
}

std::string_view PackedStrings::operator[](size_t index) const {
  const size_t start = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(bytes_).substr(start, ends_[index] - start);
}

void PackedStrings::Clear() {
  bytes_.clear();
  ends_.clear();
}

void PackedStrings::Release() {
  std::string().swap(bytes_);
  std::vector<size_t>().swap(ends_);
}

void PackedStrings::ShrinkToFit() {
  bytes_.shrink_to_fit();
  ends_.shrink_to_fit();
}

}  // namespace tarsil
