// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a feed, a sitemap and a split sitemap with awkward titles and paths into the folder
// given, for validate_samples.sh to check against the schema and for well-formedness.
#include <fstream>
#include <iostream>

#include "publish/feed.h"
#include "publish/sitemap.h"

using namespace splicery;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  const auto save = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
  };
  const BaseUrl base = *ParseBaseUrl("https://www.tsv-lindenau.de/");
  const std::vector<NewsItem> items = {
      {"14.03.2026", "a.htm", "Tom &amp; Jerry <b>fett</b> \"x\" 'y' \x01"},
      {"01.01.2026", "über uns/b c.htm",
       "Gr\xFC\xDF"
       "e \x80"},
      {"31.12.2025", "./x/../d.htm", "Abschlu\xC3\x9F"},
  };
  save("atom.xml",
       *BuildFeed({base, "atom.xml", "TSV Lindenau – Neuigkeiten", "TSV <e. V.>", 20}, items));
  std::vector<SitemapPage> pages = {{"index.htm", std::nullopt, "2026-03-14", false},
                                    {"Ä & <b>/x y.htm", std::nullopt, "", false},
                                    {"c'd\".htm", std::nullopt, "2025-01-01", false}};
  save("sitemap.xml", BuildSitemap({base, "sitemap.xml", {}}, pages)[0].bytes);
  for (const SitemapFile& file : BuildSitemap({base, "karte.xml", {}}, pages, {2, 1 << 20})) {
    save(file.path, file.bytes);
  }
  return 0;
}
