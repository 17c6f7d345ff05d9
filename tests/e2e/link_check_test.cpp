// SPDX-License-Identifier: GPL-3.0-or-later
// The link check end to end: one site with a seeded case of every finding and the references
// that must give none; and an independent link checker (Debian's linkchecker) run over the
// site's ASCII-named files, whose broken local references must all be among the findings.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "support/cli_runner.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::Files;
using testing::RunCli;
using testing::TempSite;

const std::string kBlock = "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\n<!-- INCLUDE END -->\n";
const std::string kNoNews = "<!-- STAND START -->00.00.0000<!--x-->\n";

const Files kSite = {
    {"include.txt",
     "index.htm\nseiten/index.htm\nseiten/verein.htm\nseiten/termine.htm\nrahmen.htm\nnews.htm\n"
     "alt.htm\narchiv.htm\n"},
    {"include.htm",
     "<html><body>\n"
     "<!-- INCLUDE MENU --><a href=\"index.htm\">Start</a>\n"
     "<!-- INCLUDE MENU --><a href=\"verein.htm\">Verein</a>\n"
     "<!-- INCLUDE NEWS --><li><a href=\"<!-- NEWS HREF -->#stand\"><!-- NEWS NAME --></a>\n"
     "<!-- INCLUDE FUSS --><a href=\"liste.htm\">Liste</a>\n"},
    {"index.htm",
     "<!DOCTYPE html>\n"
     "<html><head><meta charset=\"utf-8\"><title><a href=\"titel.htm\"></title></head>\n"
     "<body background=\"bilder/hg.png\">\n" +
         kBlock +
         "<a href=\"#\">oben</a> <a href=\"mailto:info@example.org\">Post</a> <a "
         "href=tel:+49>T</a>\n"
         "<a href=\"seiten/verein.htm?x=1&amp;y=2\">Verein</a>\n"
         "<a href='seiten/termine.htm#sommer'>Sommer</a>\n"
         "<img src=\"bilder/M%C3%BChle.jpg\" alt=\"Mühle\">\n"
         "<a href=\"/seiten/verein.htm\">V</a>\n"
         "<a href=\"seiten/\">Seiten</a>\n"
         "<img srcset=\"bilder/a,b.png 1x, bilder/hg.png 2x\">\n"
         "<a href=\"rahmen.htm\">Rahmen</a>\n"
         "<!-- <a href=\"kommentar.htm\"> -->\n"
         "<script>document.write('<a href=\"skript.htm\">')</script>\n"
         "<a href=\"Seiten/Verein.htm\">V</a>\n"
         "<a href=\"fehlt.htm\">f</a>\n"
         "<a href=\"M%C3%A4rz.htm\">März</a>\n"
         "<a href=\"seiten\\termine.htm\">t</a>\n"
         "<a href=\"C:\\Web\\index.htm\">c</a>\n"
         "<a href=\"file:///home/web/index.htm\">f</a>\n"
         "<a href=\"../draussen.htm\">d</a>\n"
         "<a href=\"splicery.sic/index.htm.%201.htm\">s</a>\n"
         "<a href=\"leer/\">l</a>\n"
         "<a href=\"seiten/verein.htm#fehlt\">a</a>\n"
         "<a href=\"#nirgends\">n</a>\n"
         "<a href=\"extra.htm\">e</a>\n"
         "<a href=\"news.htm\">News</a>\n"
         "</body></html>\n"},
    {"seiten/index.htm",
     "<meta charset=\"utf-8\"><p><a href=\"../index.htm\">zurück</a></p>\n" + kNoNews},
    {"seiten/verein.htm",
     "<h2 id=\"stand\">Verein</h2>\n" + kBlock + "<!-- STAND START -->01.06.2026<!--Verein-->\n"},
    {"seiten/termine.htm",
     "<base href=\"../\"><a name=\"sommer\"></a><img src=\"bilder/hg.png\">\n"
     "<!-- STAND START -->02.06.2026<!--Termine-->\n"},
    {"rahmen.htm",
     "<frameset cols=\"50%,50%\"><frame src=\"seiten/verein.htm\">"
     "<frame src=\"seiten/termine.htm#sommer\"></frameset>\n" +
         kNoNews},
    // Checked last for its news block, but before archiv.htm in include.txt.
    {"news.htm",
     "<ul>\n<!-- INCLUDE START -->\n<!-- INCLUDE NEWS -->\n<!-- INCLUDE END -->\n</ul>\n"
     "<a href=\"archiv.htm\">Archiv</a>\n"
     "<!-- INCLUDE START -->\n<!-- INCLUDE FUSS -->\n<!-- INCLUDE END -->\n"},
    {"archiv.htm", "<!-- INCLUDE START -->\n<!-- INCLUDE FUSS -->\n<!-- INCLUDE END -->\n"},
    {"liste.htm", "<p>nicht in include.txt</p>\n"},
    {"alt.htm",
     "<base href=\"https://www.example.org/\"><a href=\"irgendwo.htm\">x</a>\n" + kNoNews},
    {"extra.htm", "<p>nicht in include.txt</p>\n"},
    {"M\xE4rz.htm", "<p>windows-1252-Name</p>\n"},
    {"bilder/hg.png", ""},
    {"bilder/a,b.png", ""},
    {"bilder/M\xC3\xBChle.jpg", ""},
    {"leer/liesmich.txt", ""},
    {"splicery.sic/index.htm. 1.htm", ""},
    {"splicery.sic/seiten/.keep", ""},
};

// Every finding of the site, in the lint's order.
const std::vector<std::string> kFindings = {
    "include.txt:7: Hinweis: Datei wird von keiner Seite verlinkt",
    "index.htm:17: Fehler: Verweis auf Seiten/Verein.htm, die Datei heißt seiten/verein.htm",
    "index.htm:18: Fehler: Verweis auf fehlende Datei fehlt.htm",
    "index.htm:19: Fehler: Verweis auf M%C3%A4rz.htm, die Datei heißt März.htm (windows-1252)",
    "index.htm:20: Warnung: Verweis mit \\ statt /: seiten\\termine.htm",
    "index.htm:21: Warnung: Verweis auf einen Pfad dieses Rechners: C:\\Web\\index.htm",
    "index.htm:22: Warnung: Verweis auf einen Pfad dieses Rechners: file:///home/web/index.htm",
    "index.htm:23: Warnung: Verweis verlässt den Ordner: ../draussen.htm",
    "index.htm:24: Warnung: Verweis in den Sicherungsordner: splicery.sic/index.htm.%201.htm",
    "index.htm:25: Warnung: Verweis auf den Ordner leer/ ohne index.htm oder index.html",
    "index.htm:26: Warnung: Anker #fehlt fehlt in seiten/verein.htm",
    "index.htm:27: Warnung: Anker #nirgends fehlt in index.htm",
    "index.htm:28: Hinweis: Verweis auf extra.htm, die nicht in include.txt steht",
    "alt.htm:1: Hinweis: <base href> zeigt auf https://www.example.org/: die relativen Verweise "
    "der Seite werden nicht geprüft",
    "include.htm:3: Fehler: Verweis auf fehlende Datei verein.htm (geprüft in index.htm)",
    "include.htm:4: Warnung: Anker #stand fehlt in seiten/termine.htm (geprüft in news.htm)",
    "include.htm:5: Hinweis: Verweis auf liste.htm, die nicht in include.txt steht (geprüft in "
    "news.htm)",
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(LinkLint, EverySeededFindingAndNothingElse) {
  TempSite site(kSite);
  const testing::CliResult lint = RunCli({"--lint"});
  EXPECT_EQ(SplitLines(lint.out), kFindings);
  EXPECT_EQ(lint.err, "4 Fehler, 9 Warnungen, 4 Hinweise\n");
  EXPECT_EQ(lint.code, 1);
}

// A block met again in a page of the same folder is not resolved again, yet gives what it
// would: its own findings where the same bytes come from another include line, in another
// folder or after a script left open; and the link from it to the page that met it first.
TEST(LinkLint, ABlockMetAgainCountsAsIfResolvedAgain) {
  const auto block = [](const std::string& key) {
    return "<!-- INCLUDE START -->\n<!-- INCLUDE " + key + " -->\n<!-- INCLUDE END -->\n";
  };
  TempSite site({
      {"include.txt", "a.htm\nb.htm\nc.htm\nd.htm\nsub/e.htm\n"},
      {"include.htm",
       "<html>\n<!-- INCLUDE NAV --><a href=\"weg.htm\">W</a>\n"
       "<!-- INCLUDE NAV2 --><a href=\"weg.htm\">W</a>\n"
       "<!-- INCLUDE SELF --><a href=\"c.htm\">C</a>\n"},
      {"a.htm",
       "<a href=\"b.htm\"></a><a href=\"d.htm\"></a><a href=\"sub/e.htm\"></a>\n" + kNoNews},
      {"b.htm", "<script>\n" + block("NAV")},
      {"c.htm", block("NAV") + block("SELF")},  // its link to itself counts from d.htm
      {"d.htm", block("NAV2") + block("SELF")},
      {"sub/e.htm", block("NAV")},
      {"splicery.sic/sub/.keep", ""},
  });
  EXPECT_EQ(SplitLines(RunCli({"--lint"}).out),
            (std::vector<std::string>{
                "include.htm:2: Fehler: Verweis auf fehlende Datei weg.htm (geprüft in c.htm)",
                "include.htm:2: Fehler: Verweis auf fehlende Datei weg.htm (geprüft in sub/e.htm)",
                "include.htm:3: Fehler: Verweis auf fehlende Datei weg.htm (geprüft in d.htm)",
            }));
}

// A world-readable copy of the site's ASCII-named files (linkchecker, run as root, becomes
// "nobody"), removed afterwards.
class ReadableCopy {
 public:
  explicit ReadableCopy(const std::string& from) {
    std::string templ = (std::filesystem::temp_directory_path() / "splicery-lc-XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = templ;
    ::chmod(dir_.c_str(), 0755);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(from)) {
      const std::string rel = std::filesystem::relative(entry.path(), from).string();
      if (!std::all_of(rel.begin(), rel.end(), [](char c) { return c > 0x1F && c < 0x7F; })) {
        continue;
      }
      const std::string to = dir_ + "/" + rel;
      if (entry.is_directory()) {
        std::filesystem::create_directories(to);
        ::chmod(to.c_str(), 0755);
      } else {
        std::filesystem::copy_file(entry.path(), to);
        ::chmod(to.c_str(), 0644);
      }
    }
  }
  ~ReadableCopy() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

// More distinct references than are kept at a time, some met again long after, and a page
// listed as ./p1.htm: every page gives exactly its own findings.
TEST(LinkLint, ManyDistinctReferencesAndListedSpellingsResolveAlike) {
  constexpr int kPages = 1200;
  Files files = {{"include.txt", ""}, {"include.htm", "<html>\n"}};
  std::vector<std::string> expected;
  for (int i = 0; i < kPages; ++i) {
    const std::string name = "p" + std::to_string(i) + ".htm";
    const std::string wrong = "P" + std::to_string(i * 7 % (kPages / 2)) + ".htm";
    files["include.txt"] += (i == 1 ? "./" : "") + name + "\n";
    files.emplace(name, "<a href=\"p0.htm\"></a><a href=\"p" + std::to_string(i + 1) +
                            ".htm\"></a>\n<a href=\"" + wrong + "\"></a>\n<a href=\"fehlt" +
                            std::to_string(i) + ".htm\"></a>\n" + kNoNews);
    const std::string at = (i == 1 ? "./" : "") + name + ":";
    if (i + 1 == kPages) expected.push_back(at + "1: Fehler: Verweis auf fehlende Datei p1200.htm");
    expected.push_back(at + "2: Fehler: Verweis auf " + wrong + ", die Datei heißt p" +
                       wrong.substr(1));
    expected.push_back(at + "3: Fehler: Verweis auf fehlende Datei fehlt" + std::to_string(i) +
                       ".htm");
  }
  TempSite site(files);
  EXPECT_EQ(SplitLines(RunCli({"--lint"}).out), expected);
}

std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Each reference linkchecker calls broken, where these rules call it broken too, is a finding:
// not one with a query (dropped here), a root-relative one (it skips them), one whose target
// the copy left out for its name, or one that a browser's tokenizer reads as text.
TEST(LinkLint, WhatLinkcheckerFindsBrokenIsAFinding) {
  if (std::system("linkchecker --version > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "linkchecker fehlt (tools/install-deps.sh --test)";
  }
  TempSite site(kSite);
  const std::vector<std::string> findings = SplitLines(RunCli({"--lint"}).out);
  ReadableCopy copy(site.dir());
  testing::TempSite::Write("linkcheckerrc", "[AnchorCheck]\n");
  const std::string command = "linkchecker --no-status -f '" + site.dir() +
                              "/linkcheckerrc' -o csv 'file://" + copy.dir() +
                              "/index.htm' 2>/dev/null";
  std::string csv;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) csv.append(buffer, n);
    ::pclose(pipe);
  }
  if (csv.find("urlname;parentname") == std::string::npos) {
    GTEST_SKIP() << "linkchecker lief nicht: " << csv;
  }
  const std::string prefix = "file://" + copy.dir() + "/";
  size_t compared = 0;
  for (const std::string& row : SplitLines(csv)) {
    std::vector<std::string> f;
    std::istringstream fields(row);
    for (std::string field; std::getline(fields, field, ';');) f.push_back(field);
    if (row.starts_with("#") || f.size() < 8 || f[0] == "urlname") continue;
    const std::string& url = f[0];
    const bool anchor = f[4].find("Anchor `") != std::string::npos;
    if ((f[6] != "False" && !anchor) || !f[1].starts_with(prefix)) continue;
    const std::string page = f[1].substr(prefix.size());
    const std::string path = PercentDecoded(url.substr(0, url.find_first_of("?#")));
    const std::string folder =
        page.find('/') == std::string::npos ? "" : page.substr(0, page.rfind('/') + 1);
    // Inside <title>, a comment or a script a browser sees text, not a link.
    const bool text = url == "titel.htm" || url == "kommentar.htm" || url == "skript.htm";
    if (text || url.find('?') != std::string::npos || url.starts_with("/") ||
        (!anchor && !path.empty() && TempSite::Exists(folder + path))) {
      continue;
    }
    SCOPED_TRACE(row);
    const std::string wanted = anchor ? "Anker #" + url.substr(url.find('#') + 1) + " fehlt" : url;
    EXPECT_TRUE(std::any_of(findings.begin(), findings.end(), [&](const std::string& line) {
      return (line.starts_with(page + ":") || line.starts_with("include.htm:")) &&
             line.find(wanted) != std::string::npos;
    }));
    ++compared;
  }
  // linkchecker sees the case, missing file, folder-leaving, machine-path and anchor cases.
  EXPECT_GE(compared, 5u) << csv;
}

}  // namespace
}  // namespace splicery
