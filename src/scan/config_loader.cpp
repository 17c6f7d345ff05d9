// Configuration loading: reads both files, reports their counts or the file that failed.
#include "scan/config_loader.h"

#include "files/lines.h"
#include "files/markers.h"

namespace splicery {
namespace {

// Reads a configuration file. One saved as UTF-16 would split into no usable line at all (and
// every block would be emptied), so it fails as unreadable.
Status ReadConfiguration(FileSystem& fs, const char* path, std::string* bytes) {
  Status read = fs.ReadFile(path, bytes);
  if (read && (bytes->starts_with("\xFF\xFE") || bytes->starts_with("\xFE\xFF"))) {
    return Status::Failure(path,
                           "UTF-16-kodiert; bitte in der Kodierung der Seiten speichern "
                           "(UTF-8 oder ISO-8859-1)");
  }
  return read;
}

}  // namespace

Status LoadConfiguration(Form& form, FileSystem& fs) {
  form.SetLabel3("");
  form.SetLabel4("");

  std::string bytes;
  if (Status read = ReadConfiguration(fs, kTargetListFile, &bytes); !read) {
    form.SetLabel3("FEHLER beim Lesen von INCLUDE.TXT");
    return read;
  }
  // A byte-order mark would otherwise become part of the first page path.
  for (std::string& path : SplitTexts(StripBom(bytes))) form.List1.push_back(std::move(path));
  form.SetLabel3(" " + std::to_string(form.List1.size()) + " Dateien werden bearbeitet");

  if (Status read = ReadConfiguration(fs, kIncludeSourceFile, &bytes); !read) {
    form.SetLabel3("FEHLER beim Lesen von INCLUDE.HTM");
    return read;
  }
  for (std::string& line : SplitTexts(bytes)) {
    if (markers::Contains(line, markers::kIncludeLine)) form.List2.push_back(std::move(line));
  }
  form.SetLabel4(" " + std::to_string(form.List2.size()) +
                 " Include-Zeilen in INCLUDE.HTM gefunden");
  return {};
}

}  // namespace splicery
