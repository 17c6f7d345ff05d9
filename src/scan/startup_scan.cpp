// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up scan: configuration loading, then the news scan.
#include "scan/startup_scan.h"

#include "scan/config_loader.h"
#include "scan/news_scan.h"
#include "scan/site_config.h"

namespace splicery {

Status RunStartupScan(Form& form, FileSystem& fs) {
  if (Status loaded = LoadConfiguration(form, fs); !loaded) return loaded;
  std::optional<SiteConfig> site;
  if (Status read = ReadSiteConfig(fs, form.List1, &site); !read) {
    form.SetLabel3(msg::ReadFailed(msg::kSiteConfigShown));
    return read;
  }
  return ScanNews(form, fs);
}

}  // namespace splicery
