// An ordered list of byte strings packed into one buffer: each string costs its bytes and one
// offset instead of a std::string object and a heap block of its own. Made for lists that grow to
// hundreds of thousands of short texts (listing lines, the names of a multi-file operation).
// The list owns its bytes; views it hands out last until the next Add, Clear or Release.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace tarsil {

class PackedStrings {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    const_iterator() = default;
    const_iterator(const PackedStrings* list, size_t index) : list_(list), index_(index) {}
    std::string_view operator*() const { return (*list_)[index_]; }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++index_;
      return before;
    }
    difference_type operator-(const const_iterator& other) const {
      return static_cast<difference_type>(index_) - static_cast<difference_type>(other.index_);
    }
    bool operator==(const const_iterator& other) const { return index_ == other.index_; }

   private:
    const PackedStrings* list_ = nullptr;
    size_t index_ = 0;
  };

  PackedStrings() = default;

  // Appends a copy of `text` at the end.
  void Add(std::string_view text);

  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  // The string at `index` (0-based, below size(): not checked).
  std::string_view operator[](size_t index) const;
  std::string_view back() const { return (*this)[ends_.size() - 1]; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, ends_.size()}; }

  // Empties the list and keeps its buffers for the next strings.
  void Clear();
  // Empties the list and gives its buffers back.
  void Release();
  // Gives back what the buffers hold beyond the strings (after the last Add of a long list).
  void ShrinkToFit();

  std::vector<std::string> ToVector() const { return {begin(), end()}; }

 private:
  std::string bytes_;
  std::vector<size_t> ends_;  // where each string ends in bytes_
};

}  // namespace tarsil
