// SPDX-License-Identifier: GPL-3.0-or-later
// Configuration loading: reads both files, reports their counts or the file that failed.
#include "scan/config_loader.h"

#include "text/encoding.h"
#include "text/lines.h"
#include "text/markers.h"

namespace splicery {

// One saved as UTF-16 would split into no usable line at all (and every block would be
// emptied), so it fails as unreadable.
Status ReadConfiguration(FileSystem& fs, const char* path, std::string* bytes) {
  Status read = fs.ReadFile(path, bytes);
  if (read && (bytes->starts_with("\xFF\xFE") || bytes->starts_with("\xFE\xFF"))) {
    return Status::Failure(Code::kUtf16, path);
  }
  return read;
}

Status ReadPageList(FileSystem& fs, std::vector<std::string>* pages) {
  std::string bytes;
  Status read = ReadConfiguration(fs, kTargetListFile, &bytes);
  // A byte-order mark would otherwise become part of the first page path.
  if (read) *pages = SplitTexts(StripBom(bytes));
  return read;
}

Status LoadConfiguration(Form& form, FileSystem& fs) {
  form.SetLabel3("");
  form.SetLabel4("");

  std::vector<std::string> pages;
  if (Status read = ReadPageList(fs, &pages); !read) {
    form.SetLabel3(msg::ReadFailed(msg::kTargetListShown));
    return read;
  }
  for (std::string& path : pages) form.List1.push_back(std::move(path));
  std::string bytes;
  form.SetLabel3(msg::PagesFound(form.List1.size()));

  if (Status read = ReadConfiguration(fs, kIncludeSourceFile, &bytes); !read) {
    form.SetLabel3(msg::ReadFailed(msg::kIncludeSourceShown));
    return read;
  }
  form.Encodings.include_source = DetectIncludeEncoding(bytes);
  for (std::string& line : SplitTexts(bytes)) {
    if (markers::Contains(line, markers::kIncludeLine)) form.List2.push_back(std::move(line));
  }
  form.SetLabel4(msg::IncludeLinesFound(form.List2.size()));
  return {};
}

}  // namespace splicery
