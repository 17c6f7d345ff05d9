// SPDX-License-Identifier: GPL-3.0-or-later
// The feed and the sitemap in an update run: what the run learns of each page as it goes, and
// after the last page each file written like a page (backup, journal line, temp and rename),
// only when its bytes change. A file the run makes anew has no backup; its journal line says
// so, and an undo removes it.
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

class SiteFilesStep {
 public:
  explicit SiteFilesStep(std::optional<SiteConfig> config) : config_(std::move(config)) {}

  bool wants_pages() const { return config_ && config_->sitemap; }
  // A page as the run leaves it, in include.txt order; `key` is its file where known.
  void AddPage(const std::string& page, const FileKey* key, std::string_view bytes);
  // The files and their new bytes.
  std::vector<SitemapFile> Build(const std::vector<NewsStand>& stands) const;

 private:
  std::optional<SiteConfig> config_;
  std::vector<SitemapPage> pages_;
};

// Write mode, for one file: *changed tells whether its bytes differ. A file that exists is
// backed up, journaled and added to `batch`; a new one is journaled, the journal written, and
// the file created. The failure names the file.
Status WriteSiteFile(FileSystem& fs, const SitemapFile& file, PageBatch& batch,
                     JournalWriter& journal, bool* changed);

// Check mode: the file's current bytes (empty where it is missing) into *old, and whether the
// run could write it.
Status CheckSiteFile(FileSystem& fs, const SitemapFile& file, std::string* old, bool* changed);

}  // namespace splicery
