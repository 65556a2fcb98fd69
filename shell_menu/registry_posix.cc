// The verb on Linux: a GNOME Files script,
// ${XDG_DATA_HOME:-$HOME/.local/share}/nautilus/scripts/<verb name>, which the file manager
// offers on every right-clicked file. The script stands for the key, its contents for the
// command. A symbolic link at the script's name is never followed and a folder there never
// written into.
//
// What each operation answers, with the Windows registry's number for the same trouble, so
// that the console reads as on Windows:
//   open_verb_key       done: the script is a plain file and its folder may be written;
//                       absent (2): it or a folder on the way is missing; denied (5): the
//                       folder may not be written; failed (3), from the create too: neither
//                       XDG_DATA_HOME nor HOME gives an absolute folder.
//   create_verb_key     done: the folders and the script exist now (an existing script is
//                       kept, a new one is empty); denied (5): permission refused.
//   write_verb_command  done: the script was replaced whole; failed (6): null key; failed
//                       (87): a command holding a line end or NUL, which could not stay one
//                       comment line, or a character that is no byte of a file name.
//   Any of the three    failed with 19 on a read-only file system, 112 when no space is left,
//                       1010 (ERROR_BADKEY) when something other than a plain file stands at
//                       the script's name or a file where a folder should be, and 1013
//                       (ERROR_CANTWRITE) on any other failure, a file size limit included.
//   read_module_path    /proc/self/exe, one wide character per byte of the name, so that any
//                       name reaches the script as the bytes it is.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/posix_io.h"
#include "shell_menu/registry.h"

namespace {

constexpr registry_result done{registry_status::done, 0};
constexpr registry_result absent{registry_status::absent, 2};  // ERROR_FILE_NOT_FOUND
constexpr registry_result no_data_folder{registry_status::failed, 3};  // ERROR_PATH_NOT_FOUND
constexpr registry_result null_key_refused{registry_status::failed, 6};  // ERROR_INVALID_HANDLE
constexpr registry_result not_one_line{registry_status::failed, 87};  // ERROR_INVALID_PARAMETER
constexpr registry_result not_a_file{registry_status::failed, 1010};  // ERROR_BADKEY

// The one place where the file system's errors become the tool's results.
registry_result result_of(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return {registry_status::denied, 5};  // ERROR_ACCESS_DENIED
    case EROFS:
      return {registry_status::failed, 19};  // ERROR_WRITE_PROTECT
    case ENOSPC:
    case EDQUOT:
      return {registry_status::failed, 112};  // ERROR_DISK_FULL
    case ELOOP:
    case EISDIR:
    case ENOTDIR:
    case ENXIO:
      return not_a_file;
    default:
      return {registry_status::failed, 1013};  // ERROR_CANTWRITE
  }
}

registry_result last_error() { return result_of(errno); }

// The script is named for the verb.
const std::string script_name(verb_name);

// Where GNOME Files looks for scripts; empty when no absolute data folder is known.
std::string scripts_folder() {
  const char* data_home = std::getenv("XDG_DATA_HOME");
  if (data_home != nullptr && data_home[0] == '/') {
    return std::string(data_home) + "/nautilus/scripts";
  }
  const char* home = std::getenv("HOME");  // relative values are ignored, as by GNOME itself
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/nautilus/scripts";
  return {};
}

// mkdir -p, new folders private to the user as data folders are meant to be.
int make_folders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) return 0;
  }
}

// The key is the scripts folder, held open so that every later step works in the folder
// that was checked. One is added so that no descriptor reads as null_key.
registry_key key_of(int folder) { return static_cast<registry_key>(folder) + 1; }
int folder_of(registry_key key) { return static_cast<int>(key - 1); }

int open_folder(const std::string& path) {
  return open_retrying(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The open folder becomes the key when result is done, and is closed otherwise.
registry_result hand_out_if_done(int folder, registry_result result, registry_key& key) {
  if (result.status == registry_status::done) {
    key = key_of(folder);
  } else {
    ::close(folder);
  }
  return result;
}

// What stands at the script's name: a plain file (done), nothing (absent), or anything else,
// which is never followed or written into.
registry_result check_script(int folder) {
  struct stat status {};
  if (::fstatat(folder, script_name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? absent : last_error();
  }
  return S_ISREG(status.st_mode) ? done : not_a_file;
}

registry_result make_empty_script(int folder) {
  // O_NOFOLLOW: a link at the name fails instead of creating its target; O_NONBLOCK: a FIFO
  // there fails instead of waiting for a reader. No O_TRUNC: an existing script is kept.
  const scoped_fd file(::openat(folder, script_name.c_str(),
                                O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0755));
  if (file.get() < 0) return last_error();
  struct stat status {};
  return ::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) ? done : not_a_file;
}

// Shell words for a Windows-style command line: double quotes group, spaces and tabs
// separate, and %1 becomes the selected file ("$1"). Every other byte is single-quoted,
// so no character of the program's path means anything to the shell.
std::string shell_words(const std::string& command) {
  std::string words;    // finished words, each followed by a space
  std::string word;     // the current word, already quoted for the shell
  std::string literal;  // bytes of the current word not yet quoted
  bool in_word = false;
  bool quoted = false;
  const auto flush_literal = [&] {
    if (literal.empty()) return;
    word += '\'';
    for (const char byte : literal) word += byte == '\'' ? std::string("'\\''") : std::string(1, byte);
    word += '\'';
    literal.clear();
  };
  const auto end_word = [&] {
    if (!in_word) return;
    flush_literal();
    words += word.empty() ? std::string("''") : word;  // "" stays an empty argument
    words += ' ';
    word.clear();
    in_word = false;
  };
  for (std::size_t at = 0; at < command.size(); ++at) {
    const char byte = command[at];
    if (!quoted && (byte == ' ' || byte == '\t')) {
      end_word();
      continue;
    }
    in_word = true;
    if (byte == '"') {
      quoted = !quoted;
    } else if (byte == '%' && at + 1 < command.size() && command[at + 1] == '1') {
      flush_literal();
      word += "\"$1\"";
      ++at;
    } else {
      literal += byte;
    }
  }
  end_word();
  if (!words.empty()) words.pop_back();
  return words;
}

std::string script_for(const std::string& command) {
  return "#!/bin/sh\n"
         "# Context-menu entry written by cssqueeze; it runs this command, %1 being the selected file:\n"
         "# " + command + "\n"
         "exec " + shell_words(command) + "\n";
}

// Writes a new file name in folder holding text, all of it on the disk before it returns
// done. A file size limit makes the write fail instead of ending the tool.
registry_result write_new_file(int folder, const std::string& name, const std::string& text) {
  scoped_fd file(::openat(folder, name.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755));
  if (file.get() < 0) return last_error();
  const scoped_ignored_file_size_signal file_size_limit_fails_the_write;
  if (!write_all(file.get(), text) || ::fsync(file.get()) != 0 || !file.close()) {
    return last_error();
  }
  return done;
}

}  // namespace

registry_result open_verb_key(registry_key& key) {
  key = null_key;
  const std::string folder_path = scripts_folder();
  if (folder_path.empty()) return no_data_folder;
  const int folder = open_folder(folder_path);
  if (folder < 0) return errno == ENOENT ? absent : last_error();
  registry_result result = check_script(folder);
  // The key is opened for writing, as on Windows: a folder we may not change refuses it.
  if (result.status == registry_status::done &&
      ::faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0) {
    result = last_error();
  }
  return hand_out_if_done(folder, result, key);
}

registry_result create_verb_key(registry_key& key) {
  key = null_key;
  const std::string folder_path = scripts_folder();
  if (folder_path.empty()) return no_data_folder;
  if (const int error = make_folders(folder_path); error != 0) return result_of(error);
  const int folder = open_folder(folder_path);
  if (folder < 0) return last_error();
  return hand_out_if_done(folder, make_empty_script(folder), key);
}

registry_result write_verb_command(registry_key key, const std::wstring& command_text) {
  if (key == null_key) return null_key_refused;
  std::string command;
  for (const wchar_t character : command_text) {
    // A line end would end the comment line and put the rest of the command into code.
    const auto value = static_cast<std::uint32_t>(character);
    if (value > 0xFF || value == '\n' || value == '\r' || value == '\0') return not_one_line;
    command.push_back(static_cast<char>(value));
  }
  const int folder = folder_of(key);
  if (const registry_result found = check_script(folder);
      found.status != registry_status::done && found.status != registry_status::absent) {
    return found;
  }

  // The new script is written completely beside the old one and then renamed over it, so a
  // failure part way leaves the former script as it was. rename() replaces a link at the
  // name, never its target.
  const std::string temporary = "." + script_name + ".new-" + std::to_string(::getpid());
  ::unlinkat(folder, temporary.c_str(), 0);  // a leftover of an interrupted run
  registry_result result = write_new_file(folder, temporary, script_for(command));
  if (result.status == registry_status::done &&
      ::renameat(folder, temporary.c_str(), folder, script_name.c_str()) != 0) {
    result = last_error();
  }
  if (result.status != registry_status::done) ::unlinkat(folder, temporary.c_str(), 0);
  return result;
}

void close_verb_key(registry_key key) {
  if (key != null_key) ::close(folder_of(key));
}

std::wstring read_module_path() {
  std::string bytes(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", bytes.data(), bytes.size());
    if (length < 0) return {};
    // readlink cuts silently; a result that fills the buffer may have been cut, so grow.
    if (static_cast<std::size_t>(length) < bytes.size()) {
      bytes.resize(static_cast<std::size_t>(length));
      std::wstring path;
      for (const char byte : bytes) path.push_back(static_cast<unsigned char>(byte));
      return path;
    }
    bytes.resize(bytes.size() * 2);
  }
}
