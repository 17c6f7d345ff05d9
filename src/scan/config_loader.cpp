// Configuration loading: reads both files, reports their counts or the file that failed.
#include "scan/config_loader.h"

#include "files/lines.h"
#include "files/markers.h"

namespace splicery {

bool LoadConfiguration(Form& form, FileSystem& fs) {
  form.SetLabel3("");
  form.SetLabel4("");

  std::string bytes;
  if (!fs.ReadFile(kTargetListFile, &bytes)) {
    form.SetLabel3("FEHLER beim Lesen von INCLUDE.TXT");
    return false;
  }
  // A byte-order mark would otherwise become part of the first page path.
  for (std::string& path : SplitTexts(StripBom(bytes))) form.List1.push_back(std::move(path));
  form.SetLabel3(" " + std::to_string(form.List1.size()) + " Dateien werden bearbeitet");

  if (!fs.ReadFile(kIncludeSourceFile, &bytes)) {
    form.SetLabel3("FEHLER beim Lesen von INCLUDE.HTM");
    return false;
  }
  for (std::string& line : SplitTexts(bytes)) {
    if (markers::Contains(line, markers::kIncludeLine)) form.List2.push_back(std::move(line));
  }
  form.SetLabel4(" " + std::to_string(form.List2.size()) +
                 " Include-Zeilen in INCLUDE.HTM gefunden");
  return true;
}

}  // namespace splicery
