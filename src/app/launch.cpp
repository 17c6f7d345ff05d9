// SPDX-License-Identifier: GPL-3.0-or-later
// Display check and choice of the site folder for the window program.
#include "app/launch.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "core/form.h"
#include "core/messages.h"
#include "scan/config_loader.h"

namespace splicery {
namespace {

bool IsSet(const char* value) { return value && *value; }

// One platform name, options (":opt=value") left off.
bool PlatformHasDisplay(std::string_view platform,
                        const std::function<const char*(const char*)>& env) {
  platform = platform.substr(0, platform.find(':'));
  if (platform == "xcb") return IsSet(env("DISPLAY"));
  if (platform.starts_with("wayland")) return IsSet(env("WAYLAND_DISPLAY"));
  return !platform.empty();  // offscreen, vnc, eglfs, ...: they need no display server
}

int Fail(const SiteDialogs& dialogs, std::FILE* err, const std::string& message) {
  std::fprintf(err, "splicery: %s\n", message.c_str());
  dialogs.show_failure(message);
  return kExitNoSite;
}

}  // namespace

std::string EnterFolder(const std::string& dir) {
  if (::chdir(dir.c_str()) == 0) return "";
  // An empty name would otherwise read as a double blank.
  const std::string name = dir.empty() ? "\"\"" : dir;
  return msg::FolderNotEntered(name, errno);
}

std::optional<int> AnswerHelpOrVersion(const std::vector<std::string>& args, std::FILE* out,
                                       std::FILE* err) {
  for (const std::string& arg : args) {
    if (arg != "--help" && arg != "--version") continue;
    if (args.size() > 1) {
      const std::string& other = args[0] == arg ? args[1] : args[0];
      std::fputs(
          ("splicery: " + msg::DoNotGoTogether(arg, other) + "\n" + msg::AppUsageLong()).c_str(),
          err);
      return kExitNoSite;
    }
    if (arg == "--version") {
      std::fprintf(out, "%s\n", std::string(Form::kCaption).c_str());
    } else {
      std::fputs(msg::AppHelp().c_str(), out);
    }
    return 0;
  }
  return std::nullopt;
}

bool HasDisplay(const std::function<const char*(const char*)>& env,
                const std::string& platform_argument) {
  if (!platform_argument.empty()) return PlatformHasDisplay(platform_argument, env);
  if (const char* platforms = env("QT_QPA_PLATFORM"); IsSet(platforms)) {
    std::string_view rest = platforms;
    while (!rest.empty()) {
      const size_t end = rest.find(';');
      if (PlatformHasDisplay(rest.substr(0, end), env)) return true;
      rest = end == std::string_view::npos ? "" : rest.substr(end + 1);
    }
    return false;
  }
  return IsSet(env("DISPLAY")) || IsSet(env("WAYLAND_DISPLAY"));
}

std::string PlatformArgument(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "-platform" || arg == "--platform") return argv[i + 1];
  }
  return "";
}

std::optional<int> OpenSite(const std::vector<std::string>& args, FileSystem& fs,
                            const SiteDialogs& dialogs, std::FILE* err) {
  if (args.size() > 1) return Fail(dialogs, err, msg::AppUsage());
  if (args.size() == 1) {
    if (std::string failure = EnterFolder(args[0]); !failure.empty())
      return Fail(dialogs, err, failure);
    return std::nullopt;
  }
  Probe found = Probe::kAbsent;
  if (!fs.ProbeFile(kTargetListFile, &found) || found == Probe::kFile) return std::nullopt;
  const std::string chosen = dialogs.ask_folder();
  if (chosen.empty()) return std::nullopt;
  if (std::string failure = EnterFolder(chosen); !failure.empty())
    return Fail(dialogs, err, failure);
  return std::nullopt;
}

}  // namespace splicery
