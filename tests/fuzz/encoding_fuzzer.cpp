// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for telling a file's encoding and moving it to UTF-8. Checks: a declared
// label stands in the bytes where detection says; every declared label span lies inside the
// bytes; a moved text is UTF-8 and declaring UTF-8 in it twice changes nothing more; what the
// window shows is UTF-8 whatever the bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/convert.h"
#include "text/display_text.h"
#include "text/encoding.h"

using namespace splicery;

namespace {

void Check(bool holds) {
  if (!holds) std::abort();
}

void CheckDetected(std::string_view bytes, const FileEncoding& encoding) {
  if (encoding.label_at != std::string_view::npos) {
    Check(bytes.substr(encoding.label_at, encoding.label.size()) == encoding.label);
  }
  Check(IsValidUtf8(DisplayUtf8(bytes, encoding.name)));
  const MovedText moved = MoveToUtf8(bytes, encoding);
  if (moved.problem != MoveProblem::kNone) return;
  Check(IsValidUtf8(moved.utf8));
  const std::string declared = DeclareUtf8(moved.utf8, true);
  Check(IsValidUtf8(declared));
  Check(DeclareUtf8(declared, true) == declared);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const LabelSpan& span : DeclaredLabels(bytes)) Check(span.at + span.size <= bytes.size());
  CheckDetected(bytes, DetectPageEncoding(bytes));
  CheckDetected(bytes, DetectIncludeEncoding(bytes));
  return 0;
}
