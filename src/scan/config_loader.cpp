// Configuration loading: reads both files, reports their counts or the file that failed.
#include "scan/config_loader.h"

#include "files/lines.h"
#include "files/markers.h"

namespace splicery {

Status LoadConfiguration(Form& form, FileSystem& fs) {
  form.SetLabel3("");
  form.SetLabel4("");

  std::string bytes;
  if (Status read = fs.ReadFile(kTargetListFile, &bytes); !read) {
    form.SetLabel3("FEHLER beim Lesen von INCLUDE.TXT");
    return read;
  }
  // A byte-order mark would otherwise become part of the first page path.
  for (std::string& path : SplitTexts(StripBom(bytes))) form.List1.push_back(std::move(path));
  form.SetLabel3(" " + std::to_string(form.List1.size()) + " Dateien werden bearbeitet");

  if (Status read = fs.ReadFile(kIncludeSourceFile, &bytes); !read) {
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
