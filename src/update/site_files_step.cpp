// SPDX-License-Identifier: GPL-3.0-or-later
// Feed and sitemap written by the update run.
#include "update/site_files_step.h"

#include <cerrno>
#include <set>

#include "update/backup_name.h"
#include "update/own_backups.h"
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

// The backup of a file the run replaces or removes, named by the page rule.
Status BackUp(FileSystem& fs, const std::string& path, std::string_view bytes, uint32_t mode,
              std::string* backup) {
  MakeBackupFolders(fs, path);
  Status saved = FindFreeBackupName(fs, path, backup);
  if (saved) saved = fs.CreateFile(*backup, bytes, mode & 0666);
  return saved;
}

}  // namespace

void SiteFilesStep::AddPage(const std::string& page, const FileKey* key, std::string_view bytes) {
  if (wants_pages()) pages_.push_back(SitemapPageOf(page, key, bytes));
}

std::vector<SitemapFile> SiteFilesStep::Build(const std::vector<NewsStand>& stands,
                                              const SourceEncodings* encodings) const {
  if (!config_) return {};
  return BuildSiteFiles(*config_, stands, pages_, encodings);
}

std::vector<StalePart> SiteFilesStep::StaleParts(FileSystem& fs,
                                                 const std::vector<SitemapFile>& files,
                                                 const std::vector<std::string>& pages) const {
  std::vector<StalePart> stale;
  if (!config_ || !config_->sitemap) return stale;
  std::set<std::string> kept;  // what the run writes, and the listed pages
  for (const SitemapFile& file : files) kept.insert(file.path);
  for (const std::string& page : pages) kept.insert(ResolvePath(page).value_or(page));
  size_t number = 1;
  while (kept.count(SitemapPartName(config_->sitemap->file, number))) ++number;
  for (;; ++number) {
    StalePart part{SitemapPartName(config_->sitemap->file, number), {}, {}};
    if (kept.count(part.path) || !fs.ReadPage(part.path, &part.bytes, &part.info) ||
        !IsBuiltSitemap(part.bytes)) {
      return stale;
    }
    stale.push_back(std::move(part));
  }
}

Status BackUpStalePart(FileSystem& fs, const StalePart& part, JournalWriter& journal) {
  std::string backup;
  Status saved = BackUp(fs, part.path, part.bytes, part.info.facts.mode, &backup);
  if (saved) journal.Add({part.path, backup, JournalHash(part.bytes), {}, {}, false, true});
  return saved;
}

Status CheckStalePart(FileSystem& fs, const StalePart& part) {
  if (Status backup = ProbeBackup(fs, part.path); !backup && backup.code() != Code::kNotFound) {
    return backup;
  }
  return fs.ProbeWrite(part.path, Intent::kTempBeside);
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
  std::string backup;
  // Its old file becomes the backup by link where it is renamed; else a copy is made.
  MakeBackupFolders(fs, file.path);
  if (Status found = FindFreeBackupName(fs, file.path, &backup); !found) return found;
  OwnBackupLinks own(fs);
  own.Count(file.path, &info);
  bool backup_failed = false;
  if (Status added =
          batch.Add(file.path, info, old, file.bytes, backup, own.names(), &backup_failed);
      !added) {
    return added;
  }
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
