// SPDX-License-Identifier: GPL-3.0-or-later
// How pages are written back as another user in a folder shared by a group: renamed into
// place where that loses nothing, else written in place; read-only by the permission bits.
// Needs root to hand out numeric ids; the run itself happens in a child with those ids.
#include "update/write_policy.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>

#include "files/posix_file_system.h"
#include "report/site_lint.h"
#include "scan/startup_scan.h"
#include "support/temp_site.h"
#include "update/update_run.h"

namespace splicery {
namespace {

using testing::TempSite;

constexpr uid_t kAlice = 5001, kBob = 5002, kRoot = 0;
constexpr gid_t kWeb = 5000;  // the shared group; each user's own group has the user's id

const std::string kStale =
    "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\nalt\n<!-- INCLUDE END -->\n";
const std::string kFresh =
    "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\nneu\n<!-- INCLUDE END -->\n";

enum class Command { kRun, kCheck, kLint };

// Runs the update (or its check, or the lint) as `user` (member of kWeb, umask 002 unless
// told) and hands back its Label3 (for the lint: "Fehler" when it has one).
std::string RunAs(uid_t user, Command command = Command::kRun, mode_t umask = 002) {
  int pipe_fds[2];
  EXPECT_EQ(::pipe(pipe_fds), 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const gid_t groups[] = {kWeb};
    if (user != kRoot &&
        (::setgroups(1, groups) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)) {
      ::_exit(1);
    }
    ::umask(umask);
    Form form;
    PosixFileSystem fs;
    std::string answer;
    if (command == Command::kLint) {
      for (const Finding& f : LintSite(fs)) {
        if (f.severity == Severity::kError) answer = "Fehler";
      }
    } else {
      RunStartupScan(form, fs);
      RunUpdate(form, fs, command == Command::kRun ? RunMode::kWrite : RunMode::kCheck);
      answer = form.Label3();
    }
    (void)!::write(pipe_fds[1], answer.data(), answer.size());
    ::_exit(0);
  }
  ::close(pipe_fds[1]);
  std::string label;
  char buffer[256];
  for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) label.append(buffer, n);
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return label;
}

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st;
}

TEST(WritePolicy, KeepsLinksOwnersAndGroupsAndRefusesReadOnlyPages) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as other numeric users";
  struct Case {
    const char* name;
    uid_t runner, owner;
    gid_t group;
    mode_t mode;
    bool hard_link;
    bool in_place;  // else renamed: a new inode
    std::string label3;
    mode_t folder_mode = 0775;  // the site folder, Alice's, in the shared group
  };
  const std::string done = "INCLUDE wurde erfolgreich durchgeführt";
  const std::string refused = "FEHLER beim Schreiben von p.htm";
  const std::vector<Case> cases = {
      {"own page, shared group", kBob, kBob, kWeb, 0664, false, false, done},
      {"own page, hard-linked", kBob, kBob, kWeb, 0664, true, true, done},
      {"a group member's page", kBob, kAlice, kWeb, 0664, false, true, done},
      {"root, someone's page", kRoot, kAlice, kWeb, 0664, false, false, done},
      {"read-only, as the owner", kBob, kBob, kWeb, 0444, false, true, refused},
      {"read-only, as root", kRoot, kAlice, kWeb, 0444, false, true, refused},
      {"group may not write", kBob, kAlice, kWeb, 0644, false, true, refused},
      {"root, not the owner, 0464", kRoot, kAlice, kWeb, 0464, false, false, done},
      {"a member's page, folder not writable", kBob, kAlice, kWeb, 0664, false, true, done, 0755},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempSite site({{"include.txt", "p.htm\n"},
                   {"include.htm", "<!-- INCLUDE MENU -->neu\n"},
                   {"p.htm", kStale}});
    ASSERT_EQ(::chown(".", kAlice, kWeb), 0);
    ASSERT_EQ(::chmod(".", c.folder_mode), 0);
    if (c.folder_mode != 0775) {
      ASSERT_EQ(::mkdir("splicery.sic", 0775), 0);
      ASSERT_EQ(::chown("splicery.sic", kAlice, kWeb), 0);
      ASSERT_EQ(::chmod("splicery.sic", 0775), 0);
    }
    ASSERT_EQ(::chown("p.htm", c.owner, c.group), 0);
    ASSERT_EQ(::chmod("p.htm", c.mode), 0);
    if (c.hard_link) {
      ASSERT_EQ(::link("p.htm", "other-name.htm"), 0);
    }
    const ino_t inode = StatOf("p.htm").st_ino;

    // The check and the lint give the run's answer before it runs.
    const bool written = c.label3 == done;
    EXPECT_EQ(RunAs(c.runner, Command::kCheck),
              written ? "Datei p.htm ist nicht aktuell" : refused);
    EXPECT_EQ(RunAs(c.runner, Command::kLint), written ? "" : "Fehler");
    EXPECT_EQ(RunAs(c.runner), c.label3);
    EXPECT_EQ(TempSite::Read("p.htm"), written ? kFresh : kStale);
    const struct stat page = StatOf("p.htm");
    EXPECT_EQ(page.st_ino == inode, c.in_place);
    EXPECT_EQ(page.st_uid, c.owner);
    EXPECT_EQ(page.st_gid, c.group);
    EXPECT_EQ(page.st_mode & 07777, c.mode);
    if (c.hard_link) {
      EXPECT_EQ(TempSite::Read("other-name.htm"), kFresh);
    }
    // Every member of the group can run next: the backup folder and copies are the group's.
    EXPECT_EQ(StatOf("splicery.sic").st_gid, kWeb);
    EXPECT_EQ(StatOf("splicery.sic/p.htm. 1.htm").st_gid, kWeb);
    EXPECT_EQ(TempSite::Read("splicery.sic/p.htm. 1.htm"), kStale);
  }
}

std::string Attribute(const std::string& path, const std::string& name) {
  char value[512];
  const ssize_t size = ::getxattr(path.c_str(), name.c_str(), value, sizeof value);
  return size < 0 ? "(none)" : std::string(value, static_cast<size_t>(size));
}

// Why this file system cannot hold what the test needs; empty when it can.
std::string AttributesRefused() {
  TempSite probe({{"probe", ""}});
  if (::setxattr("probe", "user.probe", "x", 1, 0) != 0) return "no user.* attributes here";
  if (::setxattr("probe", "security.splicery-probe", "x", 1, 0) != 0) {
    return "no security.* attributes here";
  }
  if (std::system("setfacl -m u:5001:rw probe 2>/dev/null") != 0) {
    return "no POSIX ACLs here (or setfacl is missing: tools/install-deps.sh --test)";
  }
  return "";
}

// A page's ACL, attributes and special mode bits come back from a run: on its new file where
// the runner may give them to it, else in the page itself; the check and the lint agree.
TEST(WritePolicy, KeepsAclsAttributesAndSpecialModeBits) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as other numeric users";
  if (const std::string why = AttributesRefused(); !why.empty()) GTEST_SKIP() << why;
  struct Case {
    const char* name;
    uid_t runner, owner;
    gid_t group;
    mode_t mode;
    std::string attribute;  // "acl": a named user's entry
    bool in_place;
  };
  const std::string acl = "system.posix_acl_access";
  const std::vector<Case> cases = {
      {"an ACL naming a user", kBob, kBob, kBob, 0664, "acl", false},
      {"an ACL, root on a member's page", kRoot, kAlice, kWeb, 0664, "acl", false},
      {"a user attribute", kBob, kBob, kBob, 0644, "user.note", false},
      {"set-user-ID", kBob, kBob, kBob, 04644, "", false},
      {"set-group-ID", kBob, kBob, kWeb, 02664, "", false},
      {"sticky", kBob, kBob, kBob, 01644, "", false},
      {"a security attribute, as a user", kBob, kBob, kBob, 0644, "security.note", true},
      {"a security attribute, as root", kRoot, kAlice, kWeb, 0664, "security.note", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempSite site({{"include.txt", "p.htm\n"},
                   {"include.htm", "<!-- INCLUDE MENU -->neu\n"},
                   {"p.htm", kStale}});
    ASSERT_EQ(::chown(".", kAlice, kWeb), 0);
    ASSERT_EQ(::chmod(".", 0775), 0);
    ASSERT_EQ(::chown("p.htm", c.owner, c.group), 0);
    ASSERT_EQ(::chmod("p.htm", c.mode), 0);
    const std::string name = c.attribute == "acl" ? acl : c.attribute;
    if (c.attribute == "acl") {
      ASSERT_EQ(std::system("setfacl -m u:5001:rw p.htm"), 0);
    } else if (!name.empty()) {
      ASSERT_EQ(::setxattr("p.htm", name.c_str(), "kept", 4, 0), 0);
    }
    const struct stat before = StatOf("p.htm");
    const std::string value = name.empty() ? "" : Attribute("p.htm", name);

    EXPECT_EQ(RunAs(c.runner, Command::kCheck), "Datei p.htm ist nicht aktuell");
    EXPECT_EQ(RunAs(c.runner, Command::kLint), "");
    EXPECT_EQ(RunAs(c.runner), "INCLUDE wurde erfolgreich durchgeführt");
    EXPECT_EQ(TempSite::Read("p.htm"), kFresh);
    const struct stat after = StatOf("p.htm");
    EXPECT_EQ(after.st_ino == before.st_ino, c.in_place);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, c.owner);
    EXPECT_EQ(after.st_gid, c.group);
    if (!name.empty()) {
      EXPECT_EQ(Attribute("p.htm", name), value);
    }
    // A page without an ACL gets none.
    if (c.attribute != "acl") {
      EXPECT_EQ(Attribute("p.htm", acl), "(none)");
    }
  }
}

// In a set-group-ID site folder what one member's run creates stays usable by the group,
// whatever that member's umask: the next member's run, with the same umask, succeeds.
TEST(WritePolicy, WhatARunCreatesStaysTheGroupsWhateverTheUmask) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as other numeric users";
  for (const mode_t umask : {077, 022}) {
    SCOPED_TRACE(umask);
    TempSite site({{"include.txt", "p.htm\n"},
                   {"include.htm", "<!-- INCLUDE MENU -->neu\n"},
                   {"p.htm", kStale}});
    ASSERT_EQ(::chown(".", kAlice, kWeb), 0);
    ASSERT_EQ(::chmod(".", 02775), 0);
    ASSERT_EQ(::chown("p.htm", kAlice, kWeb), 0);
    ASSERT_EQ(::chmod("p.htm", 0664), 0);
    EXPECT_EQ(RunAs(kBob, Command::kRun, umask), "INCLUDE wurde erfolgreich durchgeführt");
    EXPECT_EQ(StatOf("splicery.sic").st_mode & 02070, 02070u);
    for (const char* file : {"splicery.sic/journal.tsv", "splicery.sic/p.htm. 1.htm"}) {
      EXPECT_EQ(StatOf(file).st_mode & 0060, 0060u) << file;
      EXPECT_EQ(StatOf(file).st_gid, kWeb) << file;
    }
    TempSite::Write("p.htm", kStale);
    EXPECT_EQ(RunAs(kAlice, Command::kRun, umask), "INCLUDE wurde erfolgreich durchgeführt");
    EXPECT_EQ(TempSite::Read("splicery.sic/p.htm. 2.htm"), kStale);
  }
}

}  // namespace
}  // namespace splicery

namespace splicery {
namespace {

// The rule alone, from facts, for the scenarios of the README's reliability table: no root
// needed. Bob (5002) is in his own group and the shared one; Alice (5001) owns the folder.
TEST(WritePolicy, DecidesFromTheFactsAlone) {
  struct Row {
    const char* name;
    WriteFacts facts;
    WriteWay way;
  };
  const auto bob = [](uint32_t owner, uint32_t group, uint32_t mode) {
    return WriteFacts{owner, group, mode, 1, kWeb, false, kBob, {kBob, kWeb}, false, {}};
  };
  const auto root = [](uint32_t owner, uint32_t mode) {
    return WriteFacts{owner, kWeb, mode, 1, kWeb, false, 0, {0}, true, {}};
  };
  WriteFacts linked = bob(kBob, kBob, 0644);
  linked.links = 2;
  WriteFacts setgid_folder = bob(kBob, kWeb, 0664);
  setgid_folder.folder_setgid = true;
  // The attributes a page may carry: only an attempt tells whether a new file can take them.
  const auto with = [](WriteFacts facts, const char* attribute) {
    facts.attributes = {"trusted.other", attribute};
    return facts;
  };
  const std::vector<Row> rows = {
      {"own page, own group", bob(kBob, kBob, 0644), WriteWay::kRename},
      {"own page, shared group", bob(kBob, kWeb, 0664), WriteWay::kRenameElseInPlace},
      {"own page, shared group, set-group-ID folder", setgid_folder, WriteWay::kRename},
      {"own page, set-user-ID bit", bob(kBob, kBob, 04755), WriteWay::kRename},
      {"own page, hard-linked", linked, WriteWay::kInPlace},
      {"a group member's page", bob(kAlice, kWeb, 0664), WriteWay::kInPlace},
      {"someone's page anyone may write", bob(kAlice, kAlice, 0666), WriteWay::kInPlace},
      {"group may not write", bob(kAlice, kWeb, 0644), WriteWay::kRefuse},
      {"read-only, as the owner", bob(kBob, kBob, 0444), WriteWay::kRefuse},
      {"only the group may write, as the owner", bob(kBob, kWeb, 0464), WriteWay::kRefuse},
      {"root, someone's page", root(kAlice, 0664), WriteWay::kRenameElseInPlace},
      {"root, not the owner, 0464", root(kAlice, 0464), WriteWay::kRenameElseInPlace},
      {"root, read-only", root(kAlice, 0444), WriteWay::kRefuse},
      {"own page with an ACL", with(bob(kBob, kBob, 0664), "system.posix_acl_access"),
       WriteWay::kRenameElseInPlace},
      {"own page with a user attribute", with(bob(kBob, kBob, 0644), "user.note"),
       WriteWay::kRenameElseInPlace},
      {"own page with a security label", with(bob(kBob, kBob, 0644), "security.selinux"),
       WriteWay::kRenameElseInPlace},
      {"own page with an attribute not carried", with(bob(kBob, kBob, 0644), "trusted.x"),
       WriteWay::kRename},
      {"hard-linked page with an ACL", with(linked, "system.posix_acl_access"), WriteWay::kInPlace},
      {"read-only page with an ACL", with(bob(kBob, kBob, 0444), "system.posix_acl_access"),
       WriteWay::kRefuse},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(DecideWrite(row.facts), row.way);
  }
}

}  // namespace
}  // namespace splicery
