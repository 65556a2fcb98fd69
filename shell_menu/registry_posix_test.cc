// The Linux stand-in on a real file system, always inside a temporary XDG_DATA_HOME and
// HOME: the script it writes, what it refuses to follow or overwrite, and the codes it
// answers. Permission cases run in a child that has dropped root, since root ignores them.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "shell_menu/registry.h"
#include "tests/test_files.h"

namespace {

namespace fs = std::filesystem;

// Widens a file name as the stand-in does: one wide character per byte.
std::wstring widen(const std::string& bytes) {
  std::wstring text;
  for (const char byte : bytes) text.push_back(static_cast<unsigned char>(byte));
  return text;
}

void expect_result(const registry_result& result, registry_status status, std::int32_t code) {
  EXPECT_EQ(result.status, status);
  EXPECT_EQ(result.code, code);
}

void set_or_unset(const char* name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

std::optional<std::string> get(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::nullopt : std::optional<std::string>(value);
}

class RegistryPosix : public testing::Test {
 protected:
  void SetUp() override {
    saved_data_home_ = get("XDG_DATA_HOME");
    saved_home_ = get("HOME");
    ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    ::setenv("HOME", (root_ / "home").c_str(), 1);
  }

  void TearDown() override {
    set_or_unset("XDG_DATA_HOME", saved_data_home_);
    set_or_unset("HOME", saved_home_);
  }

  fs::path scripts() const { return root_ / "data" / "nautilus" / "scripts"; }
  fs::path script() const { return scripts() / "Compress (css style)"; }

  // Creates the key and writes command into it, as a first registration does.
  void register_command(const std::wstring& command) {
    registry_key key = null_key;
    ASSERT_EQ(create_verb_key(key).status, registry_status::done);
    ASSERT_NE(key, null_key);
    EXPECT_EQ(write_verb_command(key, command).status, registry_status::done);
    close_verb_key(key);
  }

  temporary_folder temporary_{"cssqueeze-registry"};
  const fs::path root_ = temporary_.path();
  std::optional<std::string> saved_data_home_;
  std::optional<std::string> saved_home_;
};

TEST_F(RegistryPosix, OpenAnswersAbsentThenPresent) {
  registry_key key = 0x77;
  expect_result(open_verb_key(key), registry_status::absent, 2);
  EXPECT_EQ(key, null_key);
  EXPECT_FALSE(fs::exists(root_ / "data"));  // opening creates nothing

  register_command(L"\"/opt/cssqueeze\" %1");
  expect_result(open_verb_key(key), registry_status::done, 0);
  EXPECT_NE(key, null_key);
  close_verb_key(key);
}

TEST_F(RegistryPosix, ScriptRunsTheCommandOnTheSelectedFile) {
  // A stand-in program in a folder whose name means something to a shell and holds a byte
  // that is not UTF-8, and a selected file whose name means something to a shell too: both
  // must arrive as single, unchanged arguments.
  const fs::path tool_folder = root_ / "it's $HOME `id` ☃ \xFF";
  fs::create_directories(tool_folder);
  const fs::path tool = tool_folder / "cssqueeze";
  const fs::path log = root_ / "arguments";
  write_file(tool, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + log.string() + "'\n");
  fs::permissions(tool, fs::perms::owner_all);
  std::string command = tool.string();
  command.insert(0, 1, '"');
  command += "\" %1";

  register_command(widen(command));

  const std::string script_text = read_file(script());
  EXPECT_EQ(script_text.rfind("#!/bin/sh\n", 0), 0u) << script_text;
  EXPECT_NE(script_text.find("\n# " + command + "\n"), std::string::npos) << script_text;
  EXPECT_NE(fs::status(script()).permissions() & fs::perms::owner_exec, fs::perms::none);

  const std::string selected = (root_ / "my \"site\" $x 'a' ☃.css").string();
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl(script().c_str(), script().c_str(), selected.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(read_file(log), "1\n" + selected + "\n");
}

TEST_F(RegistryPosix, WriteReplacesTheFormerScript) {
  register_command(L"\"/old/cssqueeze\" %1");
  register_command(L"\"/new/cssqueeze\" %1");
  const std::string script_text = read_file(script());
  EXPECT_EQ(script_text.find("/old/"), std::string::npos);
  EXPECT_NE(script_text.find("# \"/new/cssqueeze\" %1\n"), std::string::npos);
  // Nothing is left beside it from the write.
  EXPECT_EQ(std::distance(fs::directory_iterator(scripts()), fs::directory_iterator()), 1);
}

TEST_F(RegistryPosix, DataFolderFallsBackToHome) {
  for (const char* data_home : {static_cast<const char*>(nullptr), "", "relative/data"}) {
    SCOPED_TRACE(data_home == nullptr ? "unset" : data_home);
    set_or_unset("XDG_DATA_HOME",
                 data_home == nullptr ? std::nullopt : std::optional<std::string>(data_home));
    fs::remove_all(root_ / "home");
    register_command(L"\"/opt/cssqueeze\" %1");
    EXPECT_TRUE(fs::is_regular_file(root_ / "home/.local/share/nautilus/scripts/Compress (css style)"));
  }
  ::unsetenv("XDG_DATA_HOME");
  ::setenv("HOME", "relative", 1);
  registry_key key = null_key;
  expect_result(create_verb_key(key), registry_status::failed, 3);
  EXPECT_EQ(key, null_key);
}

TEST_F(RegistryPosix, NeverFollowsOrWritesIntoWhatStandsAtTheName) {
  const fs::path target = root_ / "target";
  struct row {
    const char* name;
    std::function<void(const fs::path&)> place;
  };
  const row rows[] = {
      {"symbolic link", [&](const fs::path& at) { fs::create_symlink(target, at); }},
      {"dangling symbolic link", [&](const fs::path& at) { fs::create_symlink(root_ / "none", at); }},
      {"folder", [](const fs::path& at) { fs::create_directory(at); }},
      {"fifo", [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); }},
  };
  for (const row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(root_ / "data");
    fs::create_directories(scripts());
    write_file(target, "keep me");
    row.place(script());

    registry_key key = null_key;
    expect_result(open_verb_key(key), registry_status::failed, 1010);
    expect_result(create_verb_key(key), registry_status::failed, 1010);
    EXPECT_EQ(key, null_key);
    EXPECT_EQ(read_file(target), "keep me");
    EXPECT_FALSE(fs::exists(root_ / "none"));
  }

  // Swapped for a link between the open and the write: still not followed.
  fs::remove_all(root_ / "data");
  register_command(L"\"/opt/cssqueeze\" %1");
  registry_key key = null_key;
  ASSERT_EQ(open_verb_key(key).status, registry_status::done);
  fs::remove(script());
  fs::create_symlink(target, script());
  expect_result(write_verb_command(key, L"\"/opt/other\" %1"), registry_status::failed, 1010);
  close_verb_key(key);
  EXPECT_EQ(read_file(target), "keep me");
  EXPECT_TRUE(fs::is_symlink(script()));
}

TEST_F(RegistryPosix, WriteRefusesWhatItCannotStoreFaithfully) {
  register_command(L"\"/opt/cssqueeze\" %1");
  const std::string before = read_file(script());
  registry_key key = null_key;
  ASSERT_EQ(open_verb_key(key).status, registry_status::done);
  const struct {
    const char* name;
    std::wstring text;
  } rows[] = {
      // A line end would end the comment line and put the rest of the path into code.
      {"line feed", L"\"/opt/x\nrm -rf ~\" %1"},
      {"carriage return", L"\"/opt/x\rid\" %1"},
      {"NUL", std::wstring(L"\"/opt/x\0id\" %1", 14)},
      {"a character that is no byte", L"\"/opt/\u2603\" %1"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    expect_result(write_verb_command(key, row.text), registry_status::failed, 87);
    EXPECT_EQ(read_file(script()), before);
  }
  close_verb_key(key);
  expect_result(write_verb_command(null_key, L"\"/opt/cssqueeze\" %1"), registry_status::failed,
                6);
}

TEST_F(RegistryPosix, RefusedPermissionAnswersFive) {
  // The child makes its own folders, so that it owns them and only the mode refuses.
  const int create_result = run_in_child([] {
    const temporary_folder folder("cssqueeze-registry");
    const fs::path data = folder.path() / "data";
    ::mkdir(data.c_str(), 0500);
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    registry_key key = null_key;
    const registry_result result = create_verb_key(key);
    return result.status == registry_status::denied ? result.code : 250;
  }, true);
  EXPECT_EQ(create_result, 5);

  const int open_result = run_in_child([] {
    const temporary_folder folder("cssqueeze-registry");
    const fs::path data = folder.path() / "data";
    const fs::path scripts = data / "nautilus" / "scripts";
    fs::create_directories(scripts);
    write_file(scripts / "Compress (css style)", "#!/bin/sh\n");
    fs::permissions(scripts, fs::perms::owner_read | fs::perms::owner_exec);
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    registry_key key = null_key;
    const registry_result result = open_verb_key(key);
    return result.status == registry_status::denied ? result.code : 250;
  }, true);
  EXPECT_EQ(open_result, 5);
}

TEST_F(RegistryPosix, WhatAppearsAtTheNameAfterTheOpenIsNeitherFollowedNorReplaced) {
  const fs::path target = root_ / "target";
  struct row {
    const char* name;
    void (*place)(const fs::path& script, const fs::path& target);
  };
  const row rows[] = {
      {"folder",
       [](const fs::path& script, const fs::path&) {
         fs::create_directory(script);
         write_file(script / "inside", "keep me");
       }},
      {"dangling link",
       [](const fs::path& script, const fs::path& target) {
         fs::create_symlink(target, script);
       }},
      {"link to a folder",
       [](const fs::path& script, const fs::path& target) {
         fs::create_directory(target);
         fs::create_symlink(target, script);
       }},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    fs::remove_all(root_ / "data");
    fs::remove_all(target);
    register_command(L"\"/opt/cssqueeze\" %1");
    registry_key key = null_key;
    ASSERT_EQ(open_verb_key(key).status, registry_status::done);
    fs::remove(script());
    r.place(script(), target);
    const fs::file_type placed = fs::symlink_status(script()).type();

    expect_result(write_verb_command(key, L"\"/opt/other\" %1"), registry_status::failed,
                  1010);
    close_verb_key(key);
    EXPECT_EQ(fs::symlink_status(script()).type(), placed);
    if (placed == fs::file_type::directory) {
      EXPECT_EQ(read_file(script() / "inside"), "keep me");
    }
    if (fs::is_directory(target)) {
      EXPECT_TRUE(fs::is_empty(target));
    } else {
      EXPECT_FALSE(fs::exists(fs::symlink_status(target)));  // the link was not followed
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(scripts()), fs::directory_iterator()), 1);
  }
}

TEST_F(RegistryPosix, PlantedTemporaryNameIsNeverFollowed) {
  // The new script is written under a name beside the old one; a link planted there
  // beforehand must not lead the write to its target.
  register_command(L"\"/opt/cssqueeze\" %1");
  const fs::path target = root_ / "target";
  write_file(target, "keep me");
  const fs::path temporary =
      scripts() / (".Compress (css style).new-" + std::to_string(::getpid()));
  fs::create_symlink(target, temporary);
  registry_key key = null_key;
  ASSERT_EQ(open_verb_key(key).status, registry_status::done);
  const std::wstring command = L"\"/opt/other\" %1";
  expect_result(write_verb_command(key, command), registry_status::done, 0);
  close_verb_key(key);
  EXPECT_EQ(read_file(target), "keep me");
  EXPECT_NE(read_file(script()).find("# \"/opt/other\" %1\n"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(scripts()), fs::directory_iterator()), 1);

  // A folder there cannot be cleared away: the write fails and the script stays as it was.
  const std::string before = read_file(script());
  fs::create_directory(temporary);
  write_file(temporary / "inside", "keep me");
  ASSERT_EQ(open_verb_key(key).status, registry_status::done);
  EXPECT_EQ(write_verb_command(key, command).status, registry_status::failed);
  close_verb_key(key);
  EXPECT_EQ(read_file(script()), before);
  EXPECT_EQ(read_file(temporary / "inside"), "keep me");
}

TEST_F(RegistryPosix, FolderThatTurnsReadOnlyAfterTheOpenRefusesTheWrite) {
  const int result = run_in_child([] {
    const temporary_folder folder("cssqueeze-registry");
    const fs::path scripts = folder.path() / "data" / "nautilus" / "scripts";
    const fs::path script = scripts / "Compress (css style)";
    ::setenv("XDG_DATA_HOME", (folder.path() / "data").c_str(), 1);
    registry_key key = null_key;
    if (create_verb_key(key).status != registry_status::done) return 251;
    if (write_verb_command(key, L"\"/opt/cssqueeze\" %1").code != 0) return 252;
    const std::string before = read_file(script);
    fs::permissions(scripts, fs::perms::owner_read | fs::perms::owner_exec);
    const registry_result result = write_verb_command(key, L"\"/opt/other\" %1");
    int code = result.status == registry_status::denied ? result.code : 250;
    close_verb_key(key);
    if (read_file(script) != before) code = 253;
    if (std::distance(fs::directory_iterator(scripts), fs::directory_iterator()) != 1) {
      code = 254;
    }
    return code;
  }, true);
  EXPECT_EQ(result, 5);
}

TEST_F(RegistryPosix, FileSizeLimitFailsTheWriteInsteadOfKillingTheTool) {
  // As under `ulimit -f`: a child with a limit far below the script's size. Unless it is
  // ignored, SIGXFSZ would end the child before write_verb_command returns.
  const int status = run_in_child([] {
    std::signal(SIGXFSZ, SIG_DFL);
    const rlimit limit{16, 16};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 250;
    registry_key key = null_key;
    if (create_verb_key(key).status != registry_status::done) return 251;
    const registry_result result = write_verb_command(key, L"\"/opt/cssqueeze\" %1");
    close_verb_key(key);
    return result.status == registry_status::failed && result.code == 1013 ? 0 : 252;
  });
  ASSERT_NE(status, 128 + SIGXFSZ) << "ended by SIGXFSZ";
  EXPECT_EQ(status, 0);
  // Only the empty script that create made; no temporary file left.
  EXPECT_EQ(folder_names(scripts()), std::vector<std::string>{"Compress (css style)"});
  EXPECT_EQ(fs::file_size(script()), 0u);
}

TEST_F(RegistryPosix, ModulePathIsThisProgram) {
  EXPECT_EQ(read_module_path(), widen(fs::read_symlink("/proc/self/exe").string()));
}

}  // namespace
