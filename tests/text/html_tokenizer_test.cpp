// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/html_tokenizer.h"

#include <gtest/gtest.h>

namespace splicery::html {
namespace {

// Each tag as "<name a=value@offset ...>" ("</name>" for an end tag, "/>" when self-closing).
std::string Tags(std::string_view bytes) {
  std::string out;
  Tag tag;
  for (Tokenizer tokenizer(bytes); tokenizer.Next(tag);) {
    out += tag.end ? "</" : "<";
    out += tag.name;
    for (const Attribute& a : tag.attributes) {
      out += " " + a.name + "=" + std::string(a.value) + "@" + std::to_string(a.value_offset);
    }
    out += tag.self_closing ? "/>" : ">";
  }
  return out;
}

TEST(HtmlTokenizer, TagsAndValuesAsBrowsersSeeThem) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<a href=x.htm>", "<a href=x.htm@8>"},
      {"<a href='x y.htm'>", "<a href=x y.htm@9>"},
      {"<a href=\"a>b.htm\" id=c>", "<a href=a>b.htm@9 id=c@21>"},
      {"<A HREF=\"X.htm\"></A>", "<a href=X.htm@9></a>"},
      {"<a\nhref=\"x\"\r\nid='y'\n>", "<a href=x@9 id=y@17>"},  // a tag across lines
      {"<a href = x>", "<a href=x@10>"},                        // spaces around '='
      {"<a href=x id=1 href=y>", "<a href=x@8 id=1@13>"},       // first of a name counts
      {"<img src=a.png/>", "<img src=a.png/@9>"},               // unquoted takes the '/'
      {"<br/><img src='a'/>", "<br/><img src=a@15/>"},
      {"<a hidden href=x>", "<a hidden=@3 href=x@15>"},  // no value: the name's offset
      {"<a href=\"x\"id=y>", "<a href=x@9 id=y@14>"},    // no space after a quote
      {"<!-- <a href=x> --><b>", "<b>"},                 // comment holding a tag
      {"<!--><a>", "<a>"},                               // abrupt empty comment
      {"<!---><a>", "<a>"},
      {"<!-- a -- b --!><a>", "<a>"},
      {"<!-- ---><a>", "<a>"},
      {"<!DOCTYPE html PUBLIC \"a>\"><a>", "<a>"},  // '>' ends a DOCTYPE
      {"<!doctype html><p>", "<p>"},
      {"<?xml x?><p>", "<p>"},        // bogus comment
      {"<![CDATA[<a>]]><p>", "<p>"},  // outside SVG: bogus
      {"</ x><p>", "<p>"},
      {"</><p>", "<p>"},
      {"a < b <3 <p>", "<p>"},
      {"<script>if (a</b) x='</a>';</script><a>", "<script></script><a>"},
      {"<SCRIPT>x</Script >y<a>", "<script></script><a>"},
      {"<script>a<!--b<script>c</script>d-->e</script><a>", "<script></script><a>"},
      {"<script><!--</script><a>", "<script></script><a>"},
      {"<script>a<!-->b</script><a>", "<script></script><a>"},
      {"<style>a[x='</p>']{}</style><p>", "<style></style><p>"},
      {"<title><a href=x></title>", "<title></title>"},
      {"<textarea></textareax><a></textarea>", "<textarea></textarea>"},
      {"<iframe src=f.htm><a href=x></iframe>", "<iframe src=f.htm@12></iframe>"},
      {"<plaintext></plaintext><a>", "<plaintext>"},
      {"<script>never ends <a>", "<script>"},
      {"<a href='unclosed>", ""},  // cut off: dropped
      {"<a href=x", ""},
      {"<a =b c>", "<a =b=@3 c=@6>"},                      // '=' starts a name
      {"<a title=\"\" href=>", "<a title=@10 href=@17>"},  // missing value
  };
  for (const auto& [bytes, expected] : cases) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(Tags(bytes), expected);
  }
}

TEST(HtmlTokenizer, LineOfAnOffsetFollowsTheLineRule) {
  // Lines: "a" LF, "b" CRLF, "c" CR, "" CR, "d"
  const std::string bytes = "a\nb\r\nc\r\rd";
  LineCounter lines(bytes);
  const std::vector<std::pair<size_t, size_t>> cases = {
      {0, 1}, {1, 1}, {2, 2}, {3, 2}, {4, 2}, {5, 3}, {6, 3}, {7, 4}, {8, 5}, {0, 1}, {8, 5}};
  for (const auto& [offset, line] : cases) EXPECT_EQ(lines.LineOf(offset), line) << offset;
}

}  // namespace
}  // namespace splicery::html
