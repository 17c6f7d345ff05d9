// SPDX-License-Identifier: GPL-3.0-or-later
// Form1's data: the labels tell their listener of every text written into them.
#include "core/form.h"

namespace splicery {

void Form::SetLabel3(std::string_view text, TextKind kind) {
  label3_.assign(text);
  if (listener_) listener_(LabelId::kLabel3, label3_, kind);
}

void Form::SetLabel4(std::string_view text, TextKind kind, std::string_view encoding) {
  label4_.assign(text);
  label4_encoding_ = kind == TextKind::kPageLine ? encoding : std::string_view();
  if (listener_) listener_(LabelId::kLabel4, label4_, kind);
}

}  // namespace splicery
