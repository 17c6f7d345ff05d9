// SPDX-License-Identifier: GPL-3.0-or-later
// The tokenizer alone over every page of the site in the current folder: all pages are read
// first, then tokenized, and only the tokenizing is timed. Prints "PAGES TAGS MS".
//   tokenizer_bench            the program's own tokenizer
//   tokenizer_bench libxml2    libxml2's HTML parser with SAX callbacks, for comparison (only
//                              when it was found at configure time)
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "text/html_tokenizer.h"

#ifdef SPLICERY_BENCH_LIBXML2
#include <libxml/HTMLparser.h>
#endif

namespace {

size_t OwnTokenizer(const std::vector<std::string>& pages) {
  size_t tags = 0;
  splicery::html::Tag tag;
  for (const std::string& page : pages) {
    splicery::html::Tokenizer tokenizer(page);
    while (tokenizer.Next(tag)) tags += 1 + (tag.Find("href") != nullptr);
  }
  return tags;
}

#ifdef SPLICERY_BENCH_LIBXML2
size_t Libxml2(const std::vector<std::string>& pages) {
  size_t tags = 0;
  htmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  sax.startElement = [](void* user, const xmlChar*, const xmlChar** attributes) {
    size_t& count = *static_cast<size_t*>(user);
    ++count;
    for (; attributes && *attributes; attributes += 2) {
      if (std::strcmp(reinterpret_cast<const char*>(*attributes), "href") == 0) ++count;
    }
  };
  sax.endElement = [](void* user, const xmlChar*) { ++*static_cast<size_t*>(user); };
  for (const std::string& page : pages) {
    htmlParserCtxtPtr ctxt =
        htmlCreatePushParserCtxt(&sax, &tags, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    htmlCtxtUseOptions(ctxt, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    htmlParseChunk(ctxt, page.data(), static_cast<int>(page.size()), 1);
    htmlFreeParserCtxt(ctxt);
  }
  return tags;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> pages;
  std::ifstream list("include.txt", std::ios::binary);
  for (std::string name; std::getline(list, name);) {
    std::ifstream page(name, std::ios::binary);
    std::ostringstream bytes;
    bytes << page.rdbuf();
    pages.push_back(bytes.str());
  }
  const bool libxml2 = argc > 1 && std::strcmp(argv[1], "libxml2") == 0;
  const auto start = std::chrono::steady_clock::now();
  size_t tags = 0;
  if (!libxml2) {
    tags = OwnTokenizer(pages);
  } else {
#ifdef SPLICERY_BENCH_LIBXML2
    tags = Libxml2(pages);
#else
    std::fprintf(stderr, "tokenizer_bench: built without libxml2\n");
    return 2;
#endif
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  std::printf("%zu %zu %lld\n", pages.size(), tags, static_cast<long long>(ms));
  return 0;
}
