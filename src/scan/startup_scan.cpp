// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up scan: configuration loading, then the news scan.
#include "scan/startup_scan.h"

#include "scan/config_loader.h"
#include "scan/news_scan.h"
#include "scan/site_config.h"

namespace splicery {

Status RunStartupScan(Form& form, FileSystem& fs) {
  if (Status loaded = LoadConfiguration(form, fs); !loaded) return loaded;
  // splicery.ini is kept as read, so the run works from what the scan checked.
  std::optional<SiteConfig> site;
  Status read = ReadSiteConfigFile(fs, &form.SiteConfigBytes);
  if (read && form.SiteConfigBytes)
    read = CheckSiteConfig(*form.SiteConfigBytes, form.List1, &site);
  if (!read) {
    form.SetLabel3(msg::ReadFailed(msg::kSiteConfigShown));
    return read;
  }
  return ScanNews(form, fs);
}

}  // namespace splicery
