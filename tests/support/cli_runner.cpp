// SPDX-License-Identifier: GPL-3.0-or-later
// Fork and exec of splicery-cli with its output in temporary files.
#include "support/cli_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "support/temp_site.h"

namespace splicery::testing {

namespace {

// The binary may lie below a folder that "nobody" cannot enter: give it a copy in the open.
std::string BinaryFor(bool drop_privileges) {
  if (!drop_privileges || ::geteuid() != 0) return SPLICERY_CLI_PATH;
  static const std::string copy = [] {
    char dir[] = "/tmp/splicery-cli-XXXXXX";
    if (!::mkdtemp(dir)) return std::string(SPLICERY_CLI_PATH);
    ::chmod(dir, 0755);
    std::string path = std::string(dir) + "/splicery-cli";
    TempSite::Write(path, TempSite::Read(SPLICERY_CLI_PATH));
    ::chmod(path.c_str(), 0755);
    static std::string to_remove;
    to_remove = path;
    std::atexit([] {
      ::unlink(to_remove.c_str());
      ::rmdir(to_remove.substr(0, to_remove.rfind('/')).c_str());
    });
    return path;
  }();
  return copy;
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args, const CliOptions& options) {
  char out_name[] = "/tmp/splicery-cli-out-XXXXXX";
  char err_name[] = "/tmp/splicery-cli-err-XXXXXX";
  const int out = ::mkstemp(out_name);
  const int err = ::mkstemp(err_name);
  const std::string binary = BinaryFor(options.drop_privileges);
  std::vector<char*> argv = {const_cast<char*>(binary.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int stdout_fd = out;
  if (options.stdout_to == CliOptions::Stdout::kFull) {
    stdout_fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  } else if (options.stdout_to == CliOptions::Stdout::kClosedPipe) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) == 0) {
      ::close(ends[0]);  // no reader, ever
      stdout_fd = ends[1];
    }
  }
  std::fflush(nullptr);  // the child must not flush our buffers a second time
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(stdout_fd, 1);
    ::dup2(options.merge_output ? out : err, 2);
    if (options.drop_privileges && ::geteuid() == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(126);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (options.kill_after) {
    std::this_thread::sleep_for(*options.kill_after);
    ::kill(pid, SIGKILL);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (stdout_fd != out) ::close(stdout_fd);
  ::close(out);
  ::close(err);
  CliResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, TempSite::Read(out_name),
                   TempSite::Read(err_name)};
  ::unlink(out_name);
  ::unlink(err_name);
  return result;
}

}  // namespace splicery::testing
