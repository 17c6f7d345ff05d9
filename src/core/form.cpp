// SPDX-License-Identifier: GPL-3.0-or-later
// Form1's data and the two event handlers.
#include "core/form.h"

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

}  // namespace splicery
