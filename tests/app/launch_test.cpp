// SPDX-License-Identifier: GPL-3.0-or-later
// The steps before the window opens: the display check and the choice of the site folder.
#include "app/launch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <map>

#include "files/posix_file_system.h"
#include "support/temp_site.h"

namespace splicery {
namespace {

TEST(Launch, HasDisplay) {
  const struct {
    std::map<std::string, std::string> env;
    std::string platform_argument;
    bool has_display;
  } cases[] = {
      {{}, "", false},
      {{{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", ""}}, "", true},
      {{{"WAYLAND_DISPLAY", "wayland-0"}}, "", true},
      {{{"QT_QPA_PLATFORM", "offscreen"}}, "", true},
      {{{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "wayland-0"}}, "", false},
      {{{"QT_QPA_PLATFORM", "wayland;xcb"}, {"DISPLAY", ":0"}}, "", true},
      {{{"QT_QPA_PLATFORM", "wayland-egl"}, {"DISPLAY", ":0"}}, "", false},
      {{}, "offscreen", true},
      {{{"QT_QPA_PLATFORM", "offscreen"}}, "xcb", false},
  };
  for (const auto& c : cases) {
    auto env = [&c](const char* name) -> const char* {
      auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    };
    EXPECT_EQ(HasDisplay(env, c.platform_argument), c.has_display)
        << ::testing::PrintToString(c.env) << " -platform " << c.platform_argument;
  }
}

// --help and --version alone are answered; beside anything else they are a bad command line.
TEST(Launch, HelpAndVersionOnlyAlone) {
  const struct {
    std::vector<std::string> args;
    std::optional<int> exit;
    std::string out_start, err_start;
  } cases[] = {
      {{"--version"}, 0, "Splicery V. 1.0\n", ""},
      {{"--help"}, 0, "Aufruf: splicery [ORDNER]\n", ""},
      {{"site"}, std::nullopt, "", ""},
      {{}, std::nullopt, "", ""},
      {{"--help", "site"}, 2, "", "splicery: --help und site gehen nicht zusammen\nAufruf: "},
      {{"--check", "--version"}, 2, "", "splicery: --version und --check gehen nicht zusammen\n"},
      {{"--version", "--help"}, 2, "", "splicery: --version und --help gehen nicht zusammen\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    char *out = nullptr, *err = nullptr;
    size_t out_size = 0, err_size = 0;
    std::FILE* out_file = open_memstream(&out, &out_size);
    std::FILE* err_file = open_memstream(&err, &err_size);
    EXPECT_EQ(AnswerHelpOrVersion(c.args, out_file, err_file), c.exit);
    std::fclose(out_file);
    std::fclose(err_file);
    EXPECT_EQ(std::string(out).substr(0, c.out_start.size()), c.out_start);
    EXPECT_EQ(std::string(err).substr(0, c.err_start.size()), c.err_start);
    EXPECT_EQ(out_size == 0, c.out_start.empty());
    EXPECT_EQ(err_size == 0, c.err_start.empty());
    std::free(out);
    std::free(err);
  }
}

TEST(Launch, OpenSite) {
  const struct {
    std::vector<std::string> args;
    const char* dialog_answer;  // nullptr: the dialog must not appear
    std::optional<int> exit;
    std::string folder;  // the working folder afterwards, relative to the scratch folder
    std::string message;
  } cases[] = {
      {{"site"}, nullptr, std::nullopt, "site", ""},  // with an argument: never a dialog
      {{}, "site", std::nullopt, "site", ""},
      {{}, "", std::nullopt, "", ""},  // cancelled: the scan will report what is missing
      {{"missing"},
       nullptr,
       2,
       "",
       "Verzeichnis missing kann nicht betreten werden: nicht vorhanden"},
      {{"site/include.txt"},
       nullptr,
       2,
       "",
       "Verzeichnis site/include.txt kann nicht betreten werden: kein Verzeichnis"},
      {{""}, nullptr, 2, "", "Verzeichnis \"\" kann nicht betreten werden: nicht vorhanden"},
      {{}, "missing", 2, "", "Verzeichnis missing kann nicht betreten werden: nicht vorhanden"},
      {{"site", "site"}, nullptr, 2, "", "Aufruf: splicery [ORDNER]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + " " +
                 (c.dialog_answer ? c.dialog_answer : "-"));
    testing::TempSite scratch({{"site/include.txt", ""}});
    std::string shown;
    bool asked = false;
    SiteDialogs dialogs{[&] {
                          asked = true;
                          return std::string(c.dialog_answer ? c.dialog_answer : "");
                        },
                        [&shown](const std::string& message) { shown = message; }};
    char* printed = nullptr;
    size_t printed_size = 0;
    std::FILE* err = open_memstream(&printed, &printed_size);
    PosixFileSystem fs;
    EXPECT_EQ(OpenSite(c.args, fs, dialogs, err), c.exit);
    std::fclose(err);
    EXPECT_EQ(printed, c.message.empty() ? "" : "splicery: " + c.message + "\n");
    std::free(printed);
    EXPECT_EQ(shown, c.message);
    EXPECT_EQ(asked, c.dialog_answer != nullptr);
    char cwd[4096];
    ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
    EXPECT_EQ(cwd, c.folder.empty() ? scratch.dir() : scratch.dir() + "/" + c.folder);
  }
}

}  // namespace
}  // namespace splicery
