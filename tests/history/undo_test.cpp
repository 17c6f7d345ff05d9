// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/undo.h"

#include <gtest/gtest.h>

#include "files/posix_file_system.h"
#include "report/site_lint.h"
#include "scan/startup_scan.h"
#include "support/fault_file_system.h"
#include "support/temp_site.h"
#include "update/update_run.h"

namespace splicery {
namespace {

using testing::Op;
using testing::TempSite;

std::string Page(const std::string& inside) {
  return "<p>\n<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\n" + inside + "<!-- INCLUDE END -->\n";
}

struct Session {
  Form form;
  std::vector<std::string> label3;
  Session() {
    form.SetListener([this](LabelId id, std::string_view text, TextKind) {
      if (id == LabelId::kLabel3) label3.emplace_back(text);
    });
  }
  RunOutcome Run(FileSystem& fs, const std::string& menu) {
    TempSite::Write("include.htm", "<!-- INCLUDE MENU -->" + menu + "\n");
    EXPECT_TRUE(RunStartupScan(form, fs).ok());
    return RunUpdate(form, fs, RunMode::kWrite).outcome;
  }
  UndoResult Undo(FileSystem& fs) {
    label3.clear();
    return UndoLastRun(form, fs, false);
  }
};

// A page a run could not write is not taken back and not guarded as written; an undo whose
// commit fails is retried on the same run; one that brings nothing back still counts as done.
TEST(Undo, CountsOnlyWhatWasWrittenAndRetriesAFailedUndo) {
  TempSite site({{"include.txt", "a.htm\nb.htm\nc.htm\n"},
                 {"a.htm", Page("alt\n")},
                 {"b.htm", Page("alt\n")},
                 {"c.htm", Page("alt\n")}});
  PosixFileSystem real;
  testing::FaultFileSystem faulty(real);
  Session s;
  ASSERT_EQ(s.Run(real, "eins"), RunOutcome::kSuccess);  // run 1
  faulty.FailPath(Op::kPutInPlace, "c.htm");
  ASSERT_EQ(s.Run(faulty, "zwei"), RunOutcome::kWriteFailure);  // run 2: c keeps "eins"
  for (const Finding& finding : LintSite(real)) EXPECT_NE(finding.file, "c.htm") << finding.text;

  faulty.FailPath(Op::kPutInPlace, "b.htm");
  UndoResult undo = s.Undo(faulty);  // run 3: a comes back, b fails
  EXPECT_FALSE(undo.complete);
  EXPECT_EQ(undo.failure.path(), "b.htm");
  EXPECT_EQ(s.label3, (std::vector<std::string>{"Datei a.htm wird zurückgesetzt",
                                                "Datei b.htm wird zurückgesetzt",
                                                "FEHLER beim Schreiben von b.htm"}));
  undo = s.Undo(real);  // run 4: the same run again
  EXPECT_TRUE(undo.complete);
  EXPECT_EQ(s.label3, (std::vector<std::string>{
                          "Datei a.htm hat schon ihren Inhalt von vor dem Lauf",
                          "Datei b.htm wird zurückgesetzt", "Lauf 2 wurde rückgängig gemacht"}));
  for (const char* page : {"a.htm", "b.htm", "c.htm"}) {
    EXPECT_EQ(TempSite::Read(page), Page("eins\n")) << page;
  }

  ASSERT_EQ(s.Run(real, "drei"), RunOutcome::kSuccess);  // run 5
  for (const char* page : {"a.htm", "b.htm", "c.htm"}) TempSite::Write(page, Page("Hand\n"));
  undo = s.Undo(real);  // run 6: nothing comes back, yet run 5 counts as undone
  EXPECT_FALSE(undo.complete);
  EXPECT_TRUE(undo.failure.ok());
  EXPECT_EQ(s.label3.back(), "Lauf 5 wurde nicht rückgängig gemacht: keine Datei kam zurück");
  s.Undo(real);
  EXPECT_EQ(s.label3.back(), "Lauf 1 wurde nicht rückgängig gemacht: keine Datei kam zurück");
}

}  // namespace
}  // namespace splicery
