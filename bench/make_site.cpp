// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a synthetic stale site for the benchmark: every page has a menu block (two key lines),
// a footer block (one key line) and a stand line; some pages carry a news block.
//   make_site [--links] DIR PAGES LINES_PER_PAGE INCLUDE_LINES NEWS_PAGES TEMPLATES [FILLER]
// FILLER is the text of the filler lines ("" for empty ones); by default a paragraph of text.
// --links gives every page an anchor and, in place of three filler lines, a link to the next
// page, one to the previous page's anchor and a picture; every hundredth page links to a page
// that does not exist. It also makes the pages the menu links to. Without it the site is the
// one the older rows of the benchmark were measured on.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  const bool links = argc > 1 && std::string(argv[1]) == "--links";
  if (links) --argc, ++argv;
  if (argc != 7 && argc != 8) {
    std::fprintf(stderr,
                 "usage: make_site [--links] DIR PAGES LINES INCLUDE_LINES NEWS_PAGES TEMPLATES "
                 "[FILLER]\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  const long pages = std::atol(argv[2]), lines = std::atol(argv[3]);
  const long include_lines = std::atol(argv[4]), news_pages = std::atol(argv[5]);
  const long templates = std::atol(argv[6]);
  std::filesystem::create_directories(dir);

  std::ofstream list(dir / "include.txt", std::ios::binary);
  for (long p = 0; p < pages; ++p) list << "seite" << p << ".htm\n";

  std::ofstream inc(dir / "include.htm", std::ios::binary);
  inc << "<html><body><h1>Bausteine</h1>\n";
  long written = 0;
  for (long t = 0; t < templates; ++t, ++written)
    inc << "<!-- INCLUDE NEWS --><li class='n" << t
        << "'><!-- NEWS DATE --> <a href='<!-- NEWS HREF -->'><!-- NEWS NAME --></a></li>\n";
  for (int i = 0; i < 8; ++i, written += 2) {
    inc << "<!-- INCLUDE MENU-A --><li><a href='seite" << i << ".htm'>Menüpunkt " << i
        << "</a></li>\n";
    inc << "<!-- INCLUDE MENU-B --><li><a href='extra" << i << ".htm'>Extra " << i << "</a></li>\n";
  }
  inc << "<!-- INCLUDE FUSS --><p class='fuss'>Verein e.V. &middot; Musterstraße 1</p>\n";
  ++written;
  for (; written < include_lines; ++written)
    inc << "<!-- INCLUDE ANDERES-" << written << " --><p>Baustein " << written << "</p>\n";
  inc << "</body></html>\n";

  const std::string filler =
      (argc == 8 ? std::string(argv[7])
                 : "<p>Lorem ipsum dolor sit amet, Übungsleiter und Spielbetrieb im Verein.</p>") +
      "\n";
  for (long p = 0; p < pages; ++p) {
    std::ofstream page(dir / ("seite" + std::to_string(p) + ".htm"), std::ios::binary);
    long n = 0;
    page << "<html>\n<head><title>Seite " << p << "</title></head>\n<body>\n";
    page << "<ul>\n<!-- INCLUDE START -->\n<!-- INCLUDE MENU-A -->\n<!-- INCLUDE MENU-B -->\n"
            "<li>alt</li>\n<!-- INCLUDE END -->\n</ul>\n";
    n += 12;
    if (p < news_pages) {
      page << "<ul>\n<!-- INCLUDE START -->\n<!-- INCLUDE NEWS -->\n<li>alt</li>\n"
              "<!-- INCLUDE END -->\n</ul>\n";
      n += 6;
    }
    if (links && n + 3 < lines - 9) {
      page << "<h2 id='abschnitt'>Abschnitt</h2><a href='seite" << (p + 1) % pages
           << ".htm'>weiter</a>\n";
      page << "<p><a href='seite" << (p + pages - 1) % pages
           << ".htm#abschnitt'>zurück</a> <img src='bild.png' alt=''></p>\n";
      if (p % 100 == 0) {
        page << "<p><a href='fehlt" << p << ".htm'>kaputt</a></p>\n";
      } else {
        page << filler;
      }
      n += 3;
    }
    for (; n < lines - 9; ++n) page << filler;
    page << "<p>Stand: <!-- STAND START -->" << (1 + p % 28) << "." << (1 + p % 12) << "."
         << (2000 + p % 25) << "<!--Seite " << p << "--></p>\n";
    page << "<!-- INCLUDE START -->\n<!-- INCLUDE FUSS -->\n<p>alt</p>\n<!-- INCLUDE END -->\n"
            "</body>\n</html>\n";
  }
  if (links) {
    std::ofstream(dir / "bild.png", std::ios::binary) << "";
    for (int i = 0; i < 8; ++i) {
      std::ofstream(dir / ("extra" + std::to_string(i) + ".htm"), std::ios::binary) << "<p>x</p>\n";
    }
  }
  return 0;
}
