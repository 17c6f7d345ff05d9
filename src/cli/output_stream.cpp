// SPDX-License-Identifier: GPL-3.0-or-later
// Output that survives its reader going away.
#include "cli/output_stream.h"

#include <cerrno>

#include "cli/cli.h"
#include "core/messages.h"

namespace splicery {

void OutputStream::Write(std::string_view text) {
  if (failed() || text.empty()) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) error_ = errno ? errno : EIO;
}

void OutputStream::Flush() {
  if (failed()) return;
  errno = 0;
  if (std::fflush(file_) != 0) error_ = errno ? errno : EIO;
}

int FinishOutput(int code, OutputStream& out, OutputStream& err) {
  out.Flush();
  if (out.failed()) {
    err.Write("splicery-cli: " + out.name() + ": " + msg::ErrnoReason(out.error()) + "\n");
  }
  err.Flush();
  if ((out.failed() || err.failed()) && code == kExitOk) return kExitFailure;
  return code;
}

}  // namespace splicery
