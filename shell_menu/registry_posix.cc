// The registry's part on Linux: the verb becomes a GNOME Files script,
// ${XDG_DATA_HOME:-$HOME/.local/share}/nautilus/scripts/<verb name>, which the file
// manager offers on every right-clicked file. Only key paths of the form
// *\shell\<verb name>\command exist here; the script is the key, its contents the value.
//
// What each operation answers (Windows error numbers, so the console reads as on Windows):
//   open_registry_key    0 the script exists as a plain file and its folder may be written;
//                        2 it (or a folder on the way) is absent; 5 the folder may not be
//                        written; 3 neither XDG_DATA_HOME nor HOME gives an absolute folder.
//   create_registry_key  0 folders and an empty script exist now (an existing script is
//                        kept); 5 permission refused; 19 read-only file system; 112 no
//                        space left; 3 as for open.
//   set_default_value    0 the script was replaced whole; 6 null key; 87 not REG_SZ, an odd
//                        size, or a text holding a line end or NUL (it could not stay one
//                        comment line); 5, 19, 112 as for create.
//                        1013 also when a file size limit (ulimit -f) stops the write.
//   Any operation        1010 (ERROR_BADKEY) when something other than a plain file stands
//                        at the script's name (a folder, a symbolic link, a FIFO) or a file
//                        stands where a folder on the way should be, or the key path has
//                        another form; 1013 (ERROR_CANTWRITE) on any other failure of the
//                        file system. Symbolic links at the script's name are never
//                        followed and folders there are never written into.
//   read_module_path     /proc/self/exe; file-name bytes that are not UTF-8 survive the
//                        round trip to the script unchanged.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "shell_menu/registry.h"

namespace {

constexpr std::int32_t path_not_found = 3;
constexpr std::int32_t invalid_handle = 6;
constexpr std::int32_t write_protect = 19;
constexpr std::int32_t disk_full = 112;
constexpr std::int32_t invalid_parameter = 87;
constexpr std::int32_t bad_key = 1010;
constexpr std::int32_t cannot_write = 1013;

// What an open key stands for: the scripts folder, held open so that every later step
// works in the folder that was checked, and the script's name in it.
struct script_key {
  int folder = -1;
  std::string name;
};

std::int32_t code_for_errno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return registry_access_denied;
    case EROFS:
      return write_protect;
    case ENOSPC:
    case EDQUOT:
      return disk_full;
    case ELOOP:
    case EISDIR:
    case ENOTDIR:
    case ENXIO:
      return bad_key;
    default:
      return cannot_write;
  }
}

// Text arrives as wide characters; file names are bytes. Bytes that are not UTF-8 travel
// as U+DC80..U+DCFF, so that any path comes back to exactly the bytes it came from.
std::wstring decode_file_name(std::string_view bytes) {
  std::wstring text;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[at]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead < 0x80) {
      length = 1, value = lead;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      length = 2, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      length = 4, value = lead & 0x07, least = 0x10000;
    }
    bool valid = length != 0 && at + length <= bytes.size();
    for (std::size_t i = 1; valid && i < length; ++i) {
      const unsigned char next = static_cast<unsigned char>(bytes[at + i]);
      valid = (next & 0xC0) == 0x80;
      value = (value << 6) | (next & 0x3F);
    }
    valid = valid && value >= least && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
    if (!valid) {
      text.push_back(static_cast<wchar_t>(0xDC00 + lead));
      ++at;
      continue;
    }
    text.push_back(static_cast<wchar_t>(value));
    at += length;
  }
  return text;
}

std::string encode_file_name(std::wstring_view text) {
  std::string bytes;
  for (const wchar_t character : text) {
    const auto value = static_cast<char32_t>(character);
    if (value < 0x80) {
      bytes.push_back(static_cast<char>(value));
    } else if (value >= 0xDC80 && value <= 0xDCFF) {
      bytes.push_back(static_cast<char>(value - 0xDC00));
    } else if (value < 0x800) {
      bytes.push_back(static_cast<char>(0xC0 | (value >> 6)));
      bytes.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
      bytes.push_back(static_cast<char>(0xE0 | (value >> 12)));
      bytes.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
      bytes.push_back(static_cast<char>(0xF0 | (value >> 18)));
      bytes.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
  }
  return bytes;
}

// The verb's name out of *\shell\<verb>\command, or empty when the path has another form
// or the name could not be a plain file name.
std::string verb_of(const std::wstring& path) {
  constexpr std::wstring_view head = L"*\\shell\\";
  constexpr std::wstring_view tail = L"\\command";
  const std::wstring_view whole = path;
  if (whole.size() <= head.size() + tail.size() || whole.substr(0, head.size()) != head ||
      whole.substr(whole.size() - tail.size()) != tail) {
    return {};
  }
  const std::wstring_view verb = whole.substr(head.size(), whole.size() - head.size() - tail.size());
  if (verb == L"." || verb == L".." || verb.find_first_of(L"\\/") != std::wstring_view::npos ||
      verb.find(L'\0') != std::wstring_view::npos) {
    return {};
  }
  return encode_file_name(verb);
}

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

registry_key hand_out(int folder, std::string name) {
  return reinterpret_cast<registry_key>(new script_key{folder, std::move(name)});
}

script_key& key_of(registry_key key) { return *reinterpret_cast<script_key*>(key); }

// The script's name must hold a plain file or nothing: a link is never followed, a folder
// or device never written into.
std::int32_t check_script(int folder, const std::string& name, bool& present) {
  struct stat status {};
  if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    present = false;
    return errno == ENOENT ? registry_success : code_for_errno(errno);
  }
  present = true;
  return S_ISREG(status.st_mode) ? registry_success : bad_key;
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

std::int32_t write_all(int file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(file, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return code_for_errno(errno);
    }
    // Nothing taken and no error: retrying would spin for ever.
    if (written == 0) return cannot_write;
    done += static_cast<std::size_t>(written);
  }
  return registry_success;
}

// Where the script for the key at path under root lives: its name and its folder. Returns
// the code to refuse the key with, or registry_success.
std::int32_t locate_script(registry_key root, const std::wstring& path, std::string& name,
                           std::string& folder_path) {
  if (root != classes_root) return invalid_handle;
  name = verb_of(path);
  if (name.empty()) return bad_key;
  folder_path = scripts_folder();
  if (folder_path.empty()) return path_not_found;
  return registry_success;
}

}  // namespace

std::int32_t open_registry_key(registry_key root, const std::wstring& path, std::uint32_t,
                               registry_key& key) {
  key = null_key;
  std::string name;
  std::string folder_path;
  if (const std::int32_t refused = locate_script(root, path, name, folder_path);
      refused != registry_success) {
    return refused;
  }

  const int folder = ::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) {
    return errno == ENOENT ? registry_file_not_found : code_for_errno(errno);
  }
  bool present = false;
  std::int32_t result = check_script(folder, name, present);
  if (result == registry_success && !present) result = registry_file_not_found;
  // The key is opened for writing, as on Windows: a folder we may not change refuses it.
  if (result == registry_success && ::faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0) {
    result = code_for_errno(errno);
  }
  if (result != registry_success) {
    ::close(folder);
    return result;
  }
  key = hand_out(folder, name);
  return registry_success;
}

std::int32_t create_registry_key(registry_key root, const std::wstring& path, std::uint32_t,
                                 registry_key& key) {
  key = null_key;
  std::string name;
  std::string folder_path;
  if (const std::int32_t refused = locate_script(root, path, name, folder_path);
      refused != registry_success) {
    return refused;
  }

  if (const int error = make_folders(folder_path); error != 0) return code_for_errno(error);
  const int folder = ::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return code_for_errno(errno);
  // O_NOFOLLOW: a link at the name fails instead of creating its target; O_NONBLOCK: a FIFO
  // there fails instead of waiting for a reader. No O_TRUNC: an existing script is kept.
  const int file =
      ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0755);
  if (file < 0) {
    const std::int32_t result = code_for_errno(errno);
    ::close(folder);
    return result;
  }
  struct stat status {};
  const bool plain = ::fstat(file, &status) == 0 && S_ISREG(status.st_mode);
  ::close(file);
  if (!plain) {
    ::close(folder);
    return bad_key;
  }
  key = hand_out(folder, name);
  return registry_success;
}

std::int32_t set_default_value(registry_key key, std::uint32_t type, const std::wstring& text,
                               std::uint32_t byte_size) {
  if (key == null_key) return invalid_handle;
  if (type != string_value_type || byte_size % 2 != 0 || byte_size / 2 > text.size()) {
    return invalid_parameter;
  }
  const std::wstring_view value = std::wstring_view(text).substr(0, byte_size / 2);
  if (value.find_first_of(std::wstring_view(L"\n\r\0", 3)) != std::wstring_view::npos) {
    return invalid_parameter;
  }
  const script_key& script = key_of(key);
  bool present = false;
  if (const std::int32_t result = check_script(script.folder, script.name, present);
      result != registry_success) {
    return result;
  }

  // The new script is written completely beside the old one and then renamed over it, so a
  // failure part way leaves the former script as it was. rename() replaces a link at the
  // name, never its target.
  const std::string temporary = "." + script.name + ".new-" + std::to_string(::getpid());
  ::unlinkat(script.folder, temporary.c_str(), 0);  // a leftover of an interrupted run
  const int file = ::openat(script.folder, temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755);
  if (file < 0) return code_for_errno(errno);
  // Past a file size limit (ulimit -f) the write must fail with EFBIG, not kill the tool
  // with SIGXFSZ and leave the temporary script behind; the disposition comes back after.
  struct sigaction ignore {};
  struct sigaction former {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  const bool restore = ::sigaction(SIGXFSZ, &ignore, &former) == 0;
  std::int32_t result = write_all(file, script_for(encode_file_name(value)));
  if (restore) ::sigaction(SIGXFSZ, &former, nullptr);
  if (result == registry_success && ::fsync(file) != 0) result = code_for_errno(errno);
  if (::close(file) != 0 && result == registry_success) result = code_for_errno(errno);
  if (result == registry_success &&
      ::renameat(script.folder, temporary.c_str(), script.folder, script.name.c_str()) != 0) {
    result = code_for_errno(errno);
  }
  if (result != registry_success) ::unlinkat(script.folder, temporary.c_str(), 0);
  return result;
}

void close_registry_key(registry_key key) {
  if (key == null_key) return;
  ::close(key_of(key).folder);
  delete &key_of(key);
}

std::wstring read_module_path() {
  std::string bytes(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", bytes.data(), bytes.size());
    if (length < 0) return {};
    // readlink cuts silently; a result that fills the buffer may have been cut, so grow.
    if (static_cast<std::size_t>(length) < bytes.size()) {
      bytes.resize(static_cast<std::size_t>(length));
      return decode_file_name(bytes);
    }
    bytes.resize(bytes.size() * 2);
  }
}
