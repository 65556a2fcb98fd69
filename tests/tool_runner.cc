// fork and exec rather than posix_spawn: a run may need a file size limit, another user or
// another working folder, each set in the child between the two.
#include "tests/tool_runner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr const char* built_tool = CSSQUEEZE_EXE;

}  // namespace

fs::path tool_path() { return built_tool; }

bool can_run_unprivileged() {
  uid_t uid = 0;
  gid_t gid = 0;
  return ::geteuid() != 0 || find_nobody(uid, gid);
}

tool_run run_tool(const tool_run_options& options) {
  tool_run result;
  const bool drop_root = options.unprivileged && ::geteuid() == 0;
  uid_t nobody_uid = 0;
  gid_t nobody_gid = 0;
  if (drop_root && !find_nobody(nobody_uid, nobody_gid)) return result;

  // nobody may not be able to reach the build folder: a copy beside the test's files.
  std::string program = built_tool;
  if (drop_root) {
    const fs::path copy = options.scratch_folder / "cssqueeze";
    fs::copy_file(built_tool, copy, fs::copy_options::overwrite_existing);
    open_to_everyone(copy);
    program = copy.string();
  }
  std::vector<std::string> command = {program};
  command.insert(command.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : command) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const std::string out_path = (options.scratch_folder / "stdout").string();
  const std::string err_path = (options.scratch_folder / "stderr").string();

  const auto started = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child < 0) return result;
  if (child == 0) {
    // Descriptors first, while still privileged enough to create the capture files.
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
        ::dup2(err, 2) < 0) {
      ::_exit(126);
    }
    if (!options.working_folder.empty() && ::chdir(options.working_folder.c_str()) != 0) {
      ::_exit(126);
    }
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    // The test runner may ignore SIGXFSZ; a user's shell does not.
    std::signal(SIGXFSZ, SIG_DFL);
    if (options.file_size_limit >= 0) {
      const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                         static_cast<rlim_t>(options.file_size_limit)};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
    }
    if (drop_root && !become(nobody_uid, nobody_gid)) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }

  int status = 0;
  const auto deadline = started + options.timeout;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return result;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.elapsed = std::chrono::steady_clock::now() - started;
  result.finished = true;
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  const std::string out = read_file(out_path);
  std::size_t banner_end = 0;
  for (int line = 0; line < 3 && banner_end != std::string::npos; ++line) {
    banner_end = out.find('\n', banner_end);
    if (banner_end != std::string::npos) ++banner_end;
  }
  if (banner_end == std::string::npos) banner_end = out.size();
  result.banner = out.substr(0, banner_end);
  result.lines = out.substr(banner_end);
  result.errors = read_file(err_path);
  return result;
}

void expect_clean_run(const tool_run& result) {
  ASSERT_TRUE(result.finished) << "the tool did not start or did not end";
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.errors, "");
  // Two lines of credits and an empty line.
  ASSERT_GE(result.banner.size(), 4u);
  EXPECT_EQ(result.banner.substr(result.banner.size() - 2), "\n\n");
  EXPECT_EQ(std::count(result.banner.begin(), result.banner.end(), '\n'), 3);
  EXPECT_NE(result.banner[0], '\n');
}

ToolRunTest::ToolRunTest() {
  fs::create_directory(work_);
  open_to_everyone(folder_);
  open_to_everyone(work_);
}

tool_run ToolRunTest::run(std::vector<std::string> arguments, tool_run_options options) const {
  options.arguments = std::move(arguments);
  options.scratch_folder = folder_;
  return run_tool(options);
}
