// SPDX-License-Identifier: GPL-3.0-or-later
// Backup copies: "splicery.sic/" + page + ". N.htm", N the lowest free number from 1 up.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "files/file_system.h"

namespace splicery {

inline constexpr const char* kBackupFolder = "splicery.sic";

// The backup name of `page` with number `number`; none for a page path whose backup would
// land outside the backup folder (its ".." parts, resolved as written, climb out of it).
std::optional<std::string> BackupName(std::string_view page, size_t number);

// The backup name with the lowest number that no regular file holds yet, into *name. Fails
// when the page has no backup name or a name test fails.
Status FindFreeBackupName(FileSystem& fs, std::string_view page, std::string* name);

// The number N when `file` is `page`'s backup name exactly as a run writes it (no leading
// zeros, N >= 1); 0 otherwise.
uint64_t BackupNumber(std::string_view page, std::string_view file);

// What copying a page to the free name `backup` would meet, told without making it.
Status ProbeBackupCopy(FileSystem& fs, const std::string& backup);

// What the backup step of a run would meet for `page`, without making anything.
Status ProbeBackup(FileSystem& fs, std::string_view page);

}  // namespace splicery
