// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the rewrite of one page. The input is split at the first two 0xFF bytes
// into include source, news entries and page bytes. Checks: a page without a START marker comes
// back unchanged, and rewriting the output again changes nothing unless a generated line holds
// a key marker.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "rewrite/block_rewriter.h"
#include "rewrite/page_rewrite.h"
#include "text/lines.h"
#include "text/markers.h"

using namespace splicery;

namespace {

std::string_view Take(std::string_view& input) {
  size_t cut = input.find('\xFF');
  std::string_view part = input.substr(0, cut);
  input.remove_prefix(cut == std::string_view::npos ? input.size() : cut + 1);
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> include_lines;
  for (std::string& line : SplitTexts(Take(input))) {
    if (markers::Contains(line, markers::kIncludeLine)) include_lines.push_back(std::move(line));
  }
  SortedList news;
  for (std::string& entry : SplitTexts(Take(input))) news.Add(std::move(entry));
  const std::string page(input);

  BlockRewriter blocks(include_lines, news);
  LineBuffer out;
  std::vector<std::string> keys;
  MarkersClose(page);
  RewritePage(page, blocks, out, keys);
  const std::string first = out.bytes();

  if (!markers::Contains(page, markers::kStart) && first != page) std::abort();

  // A fragment is what follows a key line (itself holding the key marker) in an include line,
  // so it can hold the key marker only where the include line holds it past its start.
  bool generated_key = false;
  for (const std::string& line : include_lines) {
    generated_key = generated_key || markers::Find(line, markers::kKey, 1) != std::string::npos;
  }
  const LineBuffer& news_lines = blocks.NewsLines();
  for (size_t n = 0; n < news_lines.size(); ++n) {
    generated_key = generated_key || markers::Contains(news_lines[n], markers::kKey);
  }
  if (!generated_key) {
    RewritePage(first, blocks, out, keys);
    if (out.bytes() != first) std::abort();
  }
  return 0;
}
