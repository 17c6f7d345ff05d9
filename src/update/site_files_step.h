// SPDX-License-Identifier: GPL-3.0-or-later
// The feed and the sitemap in an update run: what the run learns of each page as it goes, and
// after the last page each file written like a page (backup, journal line, temp and rename),
// only when its bytes change. A file the run makes anew has no backup; its journal line says
// so, and an undo removes it. Sitemap parts a smaller site no longer needs are backed up,
// journaled and removed; an undo puts them back.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_system.h"
#include "publish/site_files.h"
#include "update/journal.h"
#include "update/page_batch.h"

namespace splicery {

// A file the run removes, as read.
struct StalePart {
  std::string path, bytes;
  FileInfo info;
};

class SiteFilesStep {
 public:
  // `pages`: how many the run adds, so that their facts are not moved (and new memory not
  // touched again) as they come.
  explicit SiteFilesStep(std::optional<SiteConfig> config, size_t pages = 0)
      : config_(std::move(config)) {
    if (wants_pages()) pages_.reserve(pages);
  }

  bool wants_pages() const { return config_ && config_->sitemap; }
  // A page as the run leaves it, in include.txt order; `key` is its file where known.
  void AddPage(const std::string& page, const FileKey* key, std::string_view bytes);
  // The files and their new bytes.
  // `encodings`: the scan's, so that each feed title is read in its page's encoding.
  std::vector<SitemapFile> Build(const std::vector<NewsStand>& stands,
                                 const SourceEncodings* encodings = nullptr) const;
  // The sitemap's numbered parts that a larger site needed and `files` (what Build gave) no
  // longer holds: from the first number past the new parts, each file up to the first one
  // missing or not a sitemap as this program writes them. A listed page or a file the run
  // writes is never one of them.
  std::vector<StalePart> StaleParts(FileSystem& fs, const std::vector<SitemapFile>& files,
                                    const std::vector<std::string>& pages) const;

 private:
  std::optional<SiteConfig> config_;
  std::vector<SitemapPage> pages_;
};

// Write mode, for one file: *changed tells whether its bytes differ. A file that exists is
// backed up, journaled and added to `batch`; a new one is journaled, the journal written, and
// the file created. The failure names the file.
Status WriteSiteFile(FileSystem& fs, const SitemapFile& file, PageBatch& batch,
                     JournalWriter& journal, bool* changed);

// Write mode, for a stale part: backed up and journaled; the run removes it once its journal
// line is durable. The failure names the file.
Status BackUpStalePart(FileSystem& fs, const StalePart& part, JournalWriter& journal);

// Check mode: whether the run could back up and remove the part.
Status CheckStalePart(FileSystem& fs, const StalePart& part);

// Check mode: the file's current bytes (empty where it is missing) into *old, and whether the
// run could write it.
Status CheckSiteFile(FileSystem& fs, const SitemapFile& file, std::string* old, bool* changed);

}  // namespace splicery
