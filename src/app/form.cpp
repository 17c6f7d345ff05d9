// Form1's data and the two event handlers.
#include "app/form.h"

#include "scan/config_loader.h"
#include "scan/news_scan.h"
#include "update/update_run.h"

namespace splicery {

void Form::SetLabel3(std::string_view text) {
  label3_.assign(text);
  if (listener_) listener_(LabelId::kLabel3, label3_, TextKind::kStatus);
}

void Form::SetLabel4(std::string_view text, TextKind kind) {
  label4_.assign(text);
  if (listener_) listener_(LabelId::kLabel4, label4_, kind);
}

bool Form::Load(FileSystem& fs) { return LoadConfiguration(*this, fs) && ScanNews(*this, fs); }

RunResult Form::Command1Click(FileSystem& fs) { return RunUpdate(*this, fs, RunMode::kWrite); }

RunResult Form::Check(FileSystem& fs) { return RunUpdate(*this, fs, RunMode::kCheck); }

}  // namespace splicery
