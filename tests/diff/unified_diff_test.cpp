// SPDX-License-Identifier: GPL-3.0-or-later
#include "diff/unified_diff.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tuple>

#include "support/temp_site.h"

namespace splicery {
namespace {

using testing::TempSite;

// Runs argv[0] (a full path) with stdout to `out`; its exit status, or -1.
int RunTool(std::vector<std::string> args, const char* out = "/dev/null") {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Puts `old_bytes` at `page`, applies `diff` with GNU patch; what the page then holds.
std::string Patched(const std::string& page, const std::string& old_bytes,
                    const std::string& diff) {
  TempSite::Write(page, old_bytes);
  TempSite::Write("change.diff", diff);
  EXPECT_EQ(RunTool({"/usr/bin/patch", "--binary", "-p1", "-s", "-f", "-i", "change.diff"}), 0);
  return TempSite::Read(page);
}

#define SKIP_WITHOUT_GNU_TOOLS()                                                     \
  if (access("/usr/bin/patch", X_OK) != 0 || access("/usr/bin/diff", X_OK) != 0) {   \
    GTEST_SKIP() << "GNU patch and diff are needed at /usr/bin to check the output"; \
  }

std::string Numbered(int from, int to, const char* eol = "\n") {
  std::string text;
  for (int i = from; i <= to; ++i) text += std::to_string(i) + eol;
  return text;
}

using Edit = std::tuple<size_t, size_t, std::string>;  // at, length, replacement

struct PatchCase {
  const char* name;
  std::string old_bytes;
  std::vector<Edit> edits;  // sorted, not overlapping
};

TEST(UnifiedDiff, PatchTurnsTheOldPageIntoTheNewOne) {
  SKIP_WITHOUT_GNU_TOOLS();
  const std::string twenty = Numbered(1, 20);
  const std::vector<PatchCase> cases = {
      {"LF", Numbered(1, 9), {{8, 1, "five"}}},
      {"one line", "a\n", {{0, 1, "b"}}},
      {"CRLF", Numbered(1, 9, "\r\n"), {{12, 3, "five\r\nmore\r\n"}}},
      {"lone CR", "a\rb\rc\nd\re\n", {{2, 1, "B\rb2"}}},
      {"no final newline on either side", "a\nb\nc", {{4, 1, "C"}}},
      {"a change, then three lines without a final newline", "a\nb\nc\nd\ne", {{0, 1, "A"}}},
      {"a change, then two lines without a final newline", "a\nb\nc\nd", {{2, 1, "B"}}},
      {"newline added at the end", "a\nb", {{3, 0, "\n"}}},
      {"newline removed at the end", "a\nb\n", {{3, 1, ""}}},
      {"CR before the missing final newline", "a\r\nb\r", {{4, 1, "c\r\n"}}},
      {"empty old", "", {{0, 0, "1\n2\n3\n"}}},
      {"empty new", "1\n2\n3\n", {{0, 6, ""}}},
      {"7 lines apart: two hunks", twenty, {{2, 1, "two"}, {18, 2, "ten"}}},
      {"6 lines apart: one hunk", twenty, {{8, 1, "five"}, {24, 2, "twelve"}}},
      {"first line", twenty, {{0, 1, "one\nhalf"}}},
      {"last line", twenty, {{48, 3, ""}}},
      {"inside lines, both regions on one line", twenty, {{4, 0, "x"}, {5, 1, "+"}}},
  };
  TempSite site;
  for (const PatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string new_bytes;
    std::vector<Region> regions;
    size_t copied = 0;
    for (const auto& [at, length, replacement] : c.edits) {
      new_bytes += c.old_bytes.substr(copied, at - copied);
      regions.push_back({at, at + length, new_bytes.size(), new_bytes.size() + replacement.size()});
      new_bytes += replacement;
      copied = at + length;
    }
    new_bytes += c.old_bytes.substr(copied);
    TempSite::Write("old", c.old_bytes);
    TempSite::Write("new", new_bytes);
    RunTool({"/usr/bin/diff", "-u", "--label", "a/page.htm", "--label", "b/page.htm", "old", "new"},
            "gnu.diff");
    for (const std::string& diff : {UnifiedDiff("page.htm", c.old_bytes, new_bytes),
                                    UnifiedDiff("page.htm", c.old_bytes, new_bytes, regions)}) {
      EXPECT_EQ(Patched("page.htm", c.old_bytes, diff), new_bytes);
      EXPECT_EQ(diff, TempSite::Read("gnu.diff"));  // on these small pages, even the hunks agree
    }
  }
}

TEST(UnifiedDiff, EqualPagesGiveNothingAndBadRegionsAreRefused) {
  EXPECT_EQ(UnifiedDiff("p.htm", "a\nb\n", "a\nb\n"), "");
  EXPECT_EQ(UnifiedDiff("p.htm", "a\n", "a\n", std::vector<Region>{{0, 1, 0, 1}}), "");
  EXPECT_THROW(UnifiedDiff("p.htm", "ab\n", "abc\n", std::vector<Region>{{0, 1, 0, 1}}),
               std::invalid_argument);
}

TEST(UnifiedDiff, NulBytesGiveTheBinaryLine) {
  EXPECT_EQ(UnifiedDiff("./p.htm", std::string("a\0b\n", 4), "a\n"),
            "Binary files a/p.htm and b/p.htm differ\n");
  EXPECT_EQ(UnifiedDiff("p.htm", "a\n", std::string("a\0", 2)),
            "Binary files a/p.htm and b/p.htm differ\n");
  EXPECT_EQ(UnifiedDiff("p.htm", std::string("\0", 1), std::string("\0", 1)), "");
}

TEST(UnifiedDiff, HeaderNamesAreResolvedQuotedLikeGnuDiffAndAcceptedByPatch) {
  SKIP_WITHOUT_GNU_TOOLS();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"sub/../a.htm", "a/a.htm"},
      {"./x/./y.htm", "a/x/y.htm"},
      {"x//y/../../z.htm", "a/z.htm"},
      {"my page.htm", "\"a/my page.htm\""},
      {"t\tab \"q\" b\\s.htm", "\"a/t\\tab \\\"q\\\" b\\\\s.htm\""},
      {"new\nline\r\a.htm", "\"a/new\\nline\\r\\a.htm\""},
      {"\x01\x1f.htm", "\"a/\\001\\037.htm\""},
      {"caf\xc3\xa9.htm", "\"a/caf\\303\\251.htm\""},
      {"del\x7f.htm", "a/del\x7f.htm"},
  };
  TempSite site;
  for (const auto& [page, header] : cases) {
    SCOPED_TRACE(header);
    EXPECT_EQ(DiffHeaderName("a/", page), header);
    const std::string name = ResolvePagePath(page);
    TempSite::Write("a/" + name, "old\n");
    TempSite::Write("b/" + name, "new\n");
    RunTool({"/usr/bin/diff", "-u", "a/" + name, "b/" + name}, "gnu.diff");
    const std::string gnu = TempSite::Read("gnu.diff");
    EXPECT_EQ(gnu.substr(0, gnu.find('\t')), "--- " + header);
    EXPECT_EQ(Patched(name, "old\n", UnifiedDiff(page, "old\n", "new\n")), "new\n");
  }
}

}  // namespace
}  // namespace splicery
