// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sorted_list.h"

#include <gtest/gtest.h>

namespace splicery {
namespace {

TEST(SortedList, AscendingByUnsignedBytesWhateverTheOrderOfAdding) {
  SortedList list;
  for (const char* item : {"b", "\xC3\xA4", "a", "B", "a", "\x7F", ""}) list.Add(item);
  EXPECT_EQ(list.items(), (std::vector<std::string>{"", "B", "a", "a", "b", "\x7F", "\xC3\xA4"}));
  // Adding after a read merges the new items in.
  list.Add("aa");
  list.Add("\x01");
  EXPECT_EQ(list.size(), 9u);
  EXPECT_EQ(list[0], "");
  EXPECT_EQ(list[1], "\x01");
  EXPECT_EQ(list[5], "aa");
  list.Clear();
  EXPECT_EQ(list.size(), 0u);
}

}  // namespace
}  // namespace splicery
