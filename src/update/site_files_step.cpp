// SPDX-License-Identifier: GPL-3.0-or-later
// Feed and sitemap written by the update run.
#include "update/site_files_step.h"

#include <cerrno>

#include "update/backup_name.h"
#include "update/write_policy.h"

namespace splicery {
namespace {

// The backup of a file in a sub-folder goes to the same sub-folder of the backup folder, which
// the run makes for the files it writes itself (pages' backup folders are the user's).
void MakeBackupFolders(FileSystem& fs, const std::string& path) {
  std::string folder = kBackupFolder;
  for (size_t from = 0, slash; (slash = path.find('/', from)) != std::string::npos;
       from = slash + 1) {
    folder += "/" + path.substr(from, slash - from);
    (void)fs.MakeDirectory(folder);  // an existing one is fine; another failure shows at the copy
  }
}

}  // namespace

void SiteFilesStep::AddPage(const std::string& page, const FileKey* key, std::string_view bytes) {
  if (wants_pages()) pages_.push_back(SitemapPageOf(page, key, bytes));
}

std::vector<SitemapFile> SiteFilesStep::Build(const std::vector<NewsStand>& stands) const {
  if (!config_) return {};
  return BuildSiteFiles(*config_, stands, pages_);
}

Status WriteSiteFile(FileSystem& fs, const SitemapFile& file, PageBatch& batch,
                     JournalWriter& journal, bool* changed) {
  std::string old;
  FileInfo info;
  Status read = fs.ReadPage(file.path, &old, &info);
  *changed = !read || old != file.bytes;
  if (read.code() == Code::kNotFound) {
    // Journaled before it exists, so that an undo finds every file the run may have made.
    journal.Add({file.path, {}, 0, JournalHash(file.bytes), {}, true});
    if (Status written = journal.Write(); !written) return written;
    if (Status flushed = fs.Flush(); !flushed) return flushed;
    return fs.CreateFile(file.path, file.bytes, 0644);
  }
  if (!read || !*changed) return read;
  MakeBackupFolders(fs, file.path);
  std::string backup;
  Status saved = FindFreeBackupName(fs, file.path, &backup);
  if (saved) saved = fs.CreateFile(backup, old, info.facts.mode & 0666);
  if (!saved) return saved;
  if (Status added = batch.Add(file.path, info, file.bytes); !added) return added;
  journal.Add({file.path, backup, JournalHash(old), JournalHash(file.bytes), {}});
  return {};
}

Status CheckSiteFile(FileSystem& fs, const SitemapFile& file, std::string* old, bool* changed) {
  old->clear();
  Status read = fs.ReadFile(file.path, old);
  if (read.code() == Code::kNotFound) {
    *changed = true;
    return fs.ProbeWrite(file.path, Intent::kCopyNew);
  }
  *changed = read && *old != file.bytes;
  if (!read || !*changed) return read;
  if (Status backup = ProbeBackup(fs, file.path); !backup && backup.code() != Code::kNotFound) {
    return backup;
  }
  return ProbeReplace(fs, file.path);
}

}  // namespace splicery
