// SPDX-License-Identifier: GPL-3.0-or-later
// How a page is replaced, decided from facts alone: the run, its check, undo and the lint all
// ask this one rule, and the file system only reports the facts and carries out the steps.
//   rename: a new file beside the page takes its owner, group and mode and is renamed over it,
//           so a power cut leaves the old or the new bytes;
//   rename, else in place: the same, but handing the new file the page's owner or group, or
//           its ACL and extended attributes, may be refused at run time; the page is then
//           written in place;
//   in place: a rename would lose something (other hard links, an owner or group the new file
//           cannot get), so the bytes go into the page itself after its backup is durable;
//   refuse: the permission bits do not let this user write the page.
#pragma once

#include <string_view>

#include "files/file_system.h"

namespace splicery {

enum class WriteWay { kRename, kRenameElseInPlace, kInPlace, kRefuse };

WriteWay DecideWrite(const WriteFacts& facts);

// Whether a page's extended attribute goes with it to its replacement: its ACL, user.* and
// security.* attributes.
bool CarriedAttribute(std::string_view name);

// What check mode and the lint tell for replacing `page`: the failure the run would meet
// there, as far as it can be told without writing.
Status ProbeReplace(FileSystem& fs, const std::string& page);

// What a run would meet opening the journal: a link, a folder or a file it may not read and
// write at its name, or a journal of another format. A missing journal passes.
Status ProbeJournal(FileSystem& fs);

}  // namespace splicery
