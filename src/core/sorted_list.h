// SPDX-License-Identifier: GPL-3.0-or-later
// The news index list: items in ascending byte-wise order (unsigned bytes, as memcmp) at all
// times as seen from outside. Equal items keep their order of adding.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace splicery {

class SortedList {
 public:
  // Appending stays O(1): the new tail is sorted and merged in on the next read, so a scan
  // of 100,000 pages does not shift the whole list for every entry.
  void Add(std::string item) { items_.push_back(std::move(item)); }
  void Clear() {
    items_.clear();
    sorted_ = 0;
  }
  size_t size() const { return items_.size(); }
  const std::string& operator[](size_t index) const { return items()[index]; }
  const std::vector<std::string>& items() const {
    if (sorted_ < items_.size()) {
      auto middle = items_.begin() + static_cast<std::ptrdiff_t>(sorted_);
      std::stable_sort(middle, items_.end());
      std::inplace_merge(items_.begin(), middle, items_.end());
      sorted_ = items_.size();
    }
    return items_;
  }

 private:
  mutable std::vector<std::string> items_;
  mutable size_t sorted_ = 0;
};

}  // namespace splicery
