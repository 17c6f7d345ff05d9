// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/encoding.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "text/convert.h"

namespace splicery {
namespace {

using B = EncodingBasis;

std::string Padded(size_t size, std::string_view tail) {
  return std::string(size, ' ') + std::string(tail);
}

TEST(Encoding, PageDetectionAsBrowsersDoIt) {
  struct Case {
    std::string bytes;
    std::string_view name;
    EncodingBasis basis;
    std::string label;  // as declared
  };
  const std::string meta1252 = "<meta charset=\"windows-1252\">";
  const Case cases[] = {
      {"<p>no head</p>", "", B::kUndeclared, ""},
      {"\xEF\xBB\xBF<meta charset=latin1>", "UTF-8", B::kBom, ""},
      {"\xFF\xFE<\0m\0", "UTF-16LE", B::kBom, ""},
      {"\xFE\xFF\0<\0m", "UTF-16BE", B::kBom, ""},
      {"<html><head><meta charset=\"iso-8859-1\">", "windows-1252", B::kDeclared, "iso-8859-1"},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">",
       "windows-1252", B::kDeclared, "iso-8859-1"},
      {"<META HTTP-EQUIV=\"CONTENT-TYPE\" CONTENT=\"TEXT/HTML; CHARSET=UTF-8\">", "UTF-8",
       B::kDeclared, "UTF-8"},
      {"<META CHARSET=Latin1>", "windows-1252", B::kDeclared, "Latin1"},
      {"<meta charset='us-ascii'>", "windows-1252", B::kDeclared, "us-ascii"},
      {"<meta charset= \" utf8 \" >", "UTF-8", B::kDeclared, "utf8"},
      // content before http-equiv counts as well; without the pragma it does not.
      {"<meta content=\"text/html; charset=koi8-r\" http-equiv=content-type>", "KOI8-R",
       B::kDeclared, "koi8-r"},
      {"<meta content=\"text/html; charset=koi8-r\"><meta charset=euc-jp>", "EUC-JP", B::kDeclared,
       "euc-jp"},
      {"<meta http-equiv=refresh content=\"charset=koi8-r\">", "", B::kUndeclared, ""},
      {"<meta http-equiv=content-type content='text/html;charset=\"sjis\"'>", "Shift_JIS",
       B::kDeclared, "sjis"},
      // The first of an attribute's names counts; the charset attribute wins over content.
      {"<meta charset=euc-kr charset=utf-8>", "EUC-KR", B::kDeclared, "euc-kr"},
      {"<meta http-equiv=content-type content=\"charset=gbk\" charset=big5>", "Big5", B::kDeclared,
       "big5"},
      // Comments are skipped, also "<!-->"; other tags' attribute values are not looked into.
      {"<!-- <meta charset=\"koi8-r\"> --><meta charset=\"utf-8\">", "UTF-8", B::kDeclared,
       "utf-8"},
      {"<!--><meta charset=koi8-u>", "KOI8-U", B::kDeclared, "koi8-u"},
      {"<!-- <meta charset=koi8-u>", "", B::kUndeclared, ""},
      {"<div title='<meta charset=koi8-u>'><meta charset=l2>", "ISO-8859-2", B::kDeclared, "l2"},
      {"<?php <meta charset=koi8-u> ?><meta charset=l2>", "ISO-8859-2", B::kDeclared, "l2"},
      {"<metal charset=koi8-u><meta/charset=l2>", "ISO-8859-2", B::kDeclared, "l2"},
      // utf-16 labels mean UTF-8 (the bytes were read as ASCII), x-user-defined windows-1252.
      {"<meta charset=utf-16le>", "UTF-8", B::kDeclared, "utf-16le"},
      {"<meta charset=x-user-defined>", "windows-1252", B::kDeclared, "x-user-defined"},
      {std::string("<\0?\0x\0m\0l\0", 10), "UTF-16LE", B::kDeclared, ""},
      // An unknown label is told, but a later known one wins.
      {"<meta charset=klingon>", "", B::kUnknownLabel, "klingon"},
      {"<meta charset=klingon><meta charset=latin1>", "windows-1252", B::kDeclared, "latin1"},
      {"<meta charset=\"\">", "", B::kUndeclared, ""},
      // Only the first 1,024 bytes are looked at: a tag that crosses byte 1024 is not seen.
      {Padded(1000, meta1252), "", B::kUndeclared, ""},
      {Padded(1024 - meta1252.size(), meta1252), "windows-1252", B::kDeclared, "windows-1252"},
      {Padded(1024, meta1252), "", B::kUndeclared, ""},
      {"<meta charset=\"windows-1252\"", "", B::kUndeclared, ""},
      // An XML declaration counts when no <meta> declares.
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?><html>", "ISO-8859-15", B::kDeclared,
       "ISO-8859-15"},
      {"<?xml version=\"1.0\" encoding=\"latin1\"?><meta charset=utf-8>", "UTF-8", B::kDeclared,
       "utf-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const FileEncoding found = DetectPageEncoding(c.bytes);
    EXPECT_EQ(found.name, c.name);
    EXPECT_EQ(found.basis, c.basis);
    EXPECT_EQ(found.label, c.label);
    if (!c.label.empty()) {
      EXPECT_EQ(c.bytes.substr(found.label_at, c.label.size()), c.label);
    }
  }
}

TEST(Encoding, IncludeSourceFallsBackToItsBytes) {
  const std::pair<std::string, FileEncoding> cases[] = {
      {"<!-- INCLUDE MENU --><a>Home</a>", {"", B::kUndeclared, "", std::string::npos}},
      {"<!-- INCLUDE MENU --><a>\xC3\x9C"
       "ber uns</a>",
       {"UTF-8", B::kGuessed, "", std::string::npos}},
      {"<!-- INCLUDE MENU --><a>\xDC"
       "ber uns</a>",
       {"windows-1252", B::kGuessed, "", std::string::npos}},
      {"<!-- INCLUDE HEAD --><meta charset=\"iso-8859-15\">\n\xC3\x9C",
       {"ISO-8859-15", B::kDeclared, "iso-8859-15", 36}},
  };
  for (const auto& [bytes, expected] : cases) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(DetectIncludeEncoding(bytes), expected);
  }
}

// The label table is the standard's: labels lower case and listed once, each naming one of
// the table's encodings, every encoding named by some label, and the labels that matter here
// where they belong.
TEST(Encoding, LabelTableIsTheStandards) {
  std::set<std::string_view> encodings, labelled, labels;
#define ENCODING(name, iconv, single) encodings.insert(name);
#define LABEL(label, name)                                                       \
  EXPECT_TRUE(labels.insert(label).second) << label;                             \
  EXPECT_EQ(std::string_view(label).find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), \
            std::string_view::npos);                                             \
  labelled.insert(name);
#include "text/encoding_labels.inc"
#undef ENCODING
#undef LABEL
  EXPECT_EQ(encodings.size(), 40u);
  EXPECT_EQ(labelled, encodings);
  for (std::string_view name : encodings) {
    if (name != "replacement") {
      EXPECT_EQ(EncodingForLabel(name), name);
    }
    // Every encoding but the two the C library lacks can be converted.
    EXPECT_EQ(IconvName(name) == nullptr, name == "replacement" || name == "x-user-defined");
  }
  const std::map<std::string_view, std::string_view> cases = {{"iso-8859-1", "windows-1252"},
                                                              {"LATIN1", "windows-1252"},
                                                              {" us-ascii\t", "windows-1252"},
                                                              {"ascii", "windows-1252"},
                                                              {"iso-8859-15", "ISO-8859-15"},
                                                              {"utf-16", "UTF-16LE"},
                                                              {"unicodefffe", "UTF-16BE"},
                                                              {"x-sjis", "Shift_JIS"},
                                                              {"iso-2022-kr", "replacement"},
                                                              {"utf-7", ""},
                                                              {"latin-1", ""},
                                                              {"", ""}};
  for (const auto& [label, name] : cases) EXPECT_EQ(EncodingForLabel(label), name) << label;
  EXPECT_TRUE(IsSingleByte("windows-1252"));
  EXPECT_TRUE(IsSingleByte("ISO-8859-8-I"));
  EXPECT_FALSE(IsSingleByte("UTF-8"));
  EXPECT_FALSE(IsSingleByte("EUC-JP"));
}

TEST(Encoding, DeclaredLabelsFindsEveryDeclarationOutsideComments) {
  const std::string bytes =
      "<?xml version='1.0' encoding='latin1'?>\n"
      "<!-- INCLUDE HEAD --><meta charset=\"iso-8859-1\">\n"
      "<!-- <meta charset=koi8-r> -->\n"
      "<meta http-equiv=Content-Type content=\"text/html; charset=klingon\">\n"
      "<meta name=description content=\"charset=l2\">\n";
  std::vector<std::string> found;
  for (const LabelSpan& span : DeclaredLabels(bytes))
    found.push_back(bytes.substr(span.at, span.size));
  EXPECT_EQ(found, (std::vector<std::string>{"latin1", "iso-8859-1", "klingon"}));
}

TEST(Convert, ThroughIconvWithTheBrowsersExceptions) {
  struct Case {
    std::string_view from, to;
    std::string bytes, expected;
    ConvertProblem problem;
  };
  const Case cases[] = {
      // ä ö ü ß „ “ – € from windows-1252, and back.
      {"windows-1252", "UTF-8", "\xE4\xF6\xFC\xDF\x84\x93\x96\x80",
       "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xE2\x80\x9E\xE2\x80\x9C\xE2\x80\x93\xE2\x82\xAC",
       ConvertProblem::kNone},
      {"UTF-8", "windows-1252", "\xC3\xA4\xE2\x80\x9E\xE2\x82\xAC", "\xE4\x84\x80",
       ConvertProblem::kNone},
      // The five bytes iconv rejects are U+0081 ... as browsers read them, both ways.
      {"windows-1252", "UTF-8", "a\x81\x8D\x8F\x90\x9Dz",
       "a\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9Dz", ConvertProblem::kNone},
      {"UTF-8", "windows-1252", "\xC2\x81\xC2\x9D", "\x81\x9D", ConvertProblem::kNone},
      // What the target cannot hold becomes a reference: € in Latin-9 fits, in Latin-2 not.
      {"UTF-8", "ISO-8859-2", "\xE2\x82\xAC \xC5\x81\xF0\x9F\x98\x80", "&#8364; \xA3&#128512;",
       ConvertProblem::kNone},
      {"UTF-8", "ISO-8859-15", "\xE2\x82\xAC", "\xA4", ConvertProblem::kNone},
      {"UTF-8", "windows-1252", "\xC5\x81", "&#321;", ConvertProblem::kNone},
      // A stateful target shifts back to ASCII before a reference.
      {"UTF-8", "ISO-2022-JP", "\xE3\x81\x82\xC3\xA4", "\x1B$B$\"\x1B(B&#228;",
       ConvertProblem::kNone},
      {"EUC-JP", "UTF-8", "\xA4\xA2", "\xE3\x81\x82", ConvertProblem::kNone},
      {"windows-1252", "windows-1252", "\x81", "\x81", ConvertProblem::kNone},
      // Bytes the source does not allow, and encodings the library lacks.
      {"UTF-8", "windows-1252", "ok\xE4", "", ConvertProblem::kInvalidBytes},
      {"EUC-JP", "UTF-8", "ok\xA4", "", ConvertProblem::kInvalidBytes},
      {"replacement", "UTF-8", "x", "", ConvertProblem::kUnsupported},
      {"UTF-8", "klingon", "x", "", ConvertProblem::kUnsupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + std::string(c.to) + ": " + c.bytes);
    std::string out;
    const ConvertResult result = Convert(c.bytes, c.from, c.to, &out);
    EXPECT_EQ(result.problem, c.problem);
    if (result) {
      EXPECT_EQ(out, c.expected);
    }
  }
  std::string out;
  EXPECT_EQ(DecodeToUtf8("ab\xA4\xA2x\xA4", "EUC-JP", &out).bad_at, 5u);
}

// The declaration goes where the prescan sees it, so a second move adds nothing.
TEST(DeclareUtf8, AddsADeclarationThePrescanSees) {
  const std::string far(1100, 'x');
  const struct {
    std::string in, out;
  } cases[] = {
      {"<html>\r\n<head>\r\n\xC3\xA4", "<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n\xC3\xA4"},
      {"<HTML lang=de>\n\xC3\xA4", "<HTML lang=de>\n<meta charset=\"utf-8\">\n\xC3\xA4"},
      {"<p>\xC3\xA4</p>\r\n", "<meta charset=\"utf-8\">\r\n<p>\xC3\xA4</p>\r\n"},
      {"<meta charset=latin1>\xC3\xA4", "<meta charset=utf-8>\xC3\xA4"},
      // A broken tag before the line would take the declaration in as its attributes.
      {"<head><met\xC3\xA4", "<meta charset=\"utf-8\">\n<head><met\xC3\xA4"},
      // Inside a tag left open at the line's end it would bring a quoted label to light.
      {"<html><meta\nx=\"<meta charset=q>\"\xC3\xA4",
       "<meta charset=\"utf-8\">\n<html><meta\nx=\"<meta charset=q>\"\xC3\xA4"},
      // Past the prescan's 1,024 bytes.
      {"<!--" + far + "-->\n<head>\n\xC3\xA4",
       "<meta charset=\"utf-8\">\n<!--" + far + "-->\n<head>\n\xC3\xA4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in.substr(0, 30));
    const std::string declared = DeclareUtf8(c.in, true);
    EXPECT_EQ(declared, c.out);
    EXPECT_EQ(DetectPageEncoding(declared).name, "UTF-8");
    EXPECT_EQ(DeclareUtf8(declared, true), declared);
  }
}

}  // namespace
}  // namespace splicery
