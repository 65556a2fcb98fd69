// The file operations of load and save on Windows, over binary I/O: line ends are handled
// by our own code, so every byte (0x1A, which the C runtime's text mode takes for the end
// of the file, included) passes through. Replacing keeps the file what it was: a new file
// beside it takes its place through ReplaceFileW, which carries over the original's ACL,
// owner, attributes, creation time and named streams; a hard-linked file, or one whose
// folder refuses a new file, is copied aside and overwritten where it stands. Either way a
// full disk or an I/O error part way leaves the original byte for byte as it was.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <utility>

#include "file_system/file_system.h"
#include "file_system/read_loop.h"
#include "platform/utf16_windows.h"

namespace {

// Closes a handle on every early return.
class scoped_handle {
 public:
  explicit scoped_handle(HANDLE handle) : handle_(handle) {}
  scoped_handle(const scoped_handle&) = delete;
  scoped_handle& operator=(const scoped_handle&) = delete;
  ~scoped_handle() {
    if (valid()) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Closes now and reports the result: a failed close can mean lost data after a write.
  bool close() {
    const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

// Removes the temporary file on every path that does not move it into place.
class scoped_temporary_file {
 public:
  explicit scoped_temporary_file(std::wstring path) : path_(std::move(path)) {}
  scoped_temporary_file(const scoped_temporary_file&) = delete;
  scoped_temporary_file& operator=(const scoped_temporary_file&) = delete;
  ~scoped_temporary_file() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  void keep() { path_.clear(); }

 private:
  std::wstring path_;
};

// Read and write at most this much per call: the API counts bytes in a DWORD.
constexpr std::size_t io_chunk = std::size_t{1} << 30;

// The narrow path as the wide path the file API takes. The executable's manifest makes
// UTF-8 the process code page, so the command line arrives as UTF-8; a path that is not
// valid UTF-8 can only come from the ANSI code page of an older Windows, and is read so.
// Empty when neither reading works.
std::wstring to_wide_path(const std::string& path) {
  if (path.empty() || path.size() > 0x7FFFFFFF) return {};
  const int size = static_cast<int>(path.size());
  for (const UINT code_page : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
    const DWORD flags = MB_ERR_INVALID_CHARS;
    const int length = MultiByteToWideChar(code_page, flags, path.data(), size, nullptr, 0);
    if (length <= 0) continue;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(code_page, flags, path.data(), size, wide.data(), length) == length) {
      // An embedded NUL would silently cut the path short at the API.
      if (wide.find(L'\0') != std::wstring::npos) return {};
      return wide;
    }
  }
  return {};
}

// A file of the disk, not a directory, console, pipe or device.
bool is_disk_file(HANDLE file) {
  if (GetFileType(file) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileInformationByHandle(file, &information) != 0 &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Others may go on reading, writing, renaming or deleting the file while we hold it, as
// with the C runtime's own opens.
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The path the handle really reaches (through any symbolic link), so that the temporary
// file goes beside the real file and the move replaces the file, not the link. Empty when
// the system cannot say.
std::wstring final_path_of(HANDLE file) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(file, path.data(),
                                                   static_cast<DWORD>(path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length + 1);  // the needed size, terminator included
  }
}

bool write_all(HANDLE file, std::string_view bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const auto chunk = static_cast<DWORD>(std::min(io_chunk, bytes.size() - written));
    DWORD done = 0;
    if (!WriteFile(file, bytes.data() + written, chunk, &done, nullptr) || done == 0) return false;
    written += done;
  }
  return true;
}

// A temporary file beside target that nobody else has, opened by us alone; kind goes into
// its name (the copy of an original says "-original").
HANDLE create_temporary_beside(const std::wstring& target, const std::wstring& kind,
                               std::wstring& temporary_path, SECURITY_ATTRIBUTES* security) {
  const std::size_t separator = target.find_last_of(L"\\/");
  const std::wstring folder = separator == std::wstring::npos ? L"" : target.substr(0, separator + 1);
  std::wstring name = separator == std::wstring::npos ? target : target.substr(separator + 1);
  // A name component holds at most 255 characters: the temporary name keeps only the start
  // of a long one (never half of a surrogate pair), or the longest names could not be saved.
  constexpr std::size_t longest_kept_name = 200;
  if (name.size() > longest_kept_name) {
    const wchar_t last = name[longest_kept_name - 1];
    const bool splits_pair = last >= 0xD800 && last <= 0xDBFF;
    name.resize(splits_pair ? longest_kept_name - 1 : longest_kept_name);
  }
  const std::wstring stem = folder + L"." + name + L".cssqueeze" + kind + L"-" +
                            std::to_wstring(GetCurrentProcessId()) + L"-";
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    temporary_path = stem + std::to_wstring(GetTickCount64() + attempt) + L".tmp";
    const HANDLE file = CreateFileW(temporary_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

// The file at wide_path opened for reading as load opens it, if it is a file of the disk.
// Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open at all.
HANDLE open_disk_file(const std::wstring& wide_path) {
  if (wide_path.empty()) return INVALID_HANDLE_VALUE;
  const HANDLE file = CreateFileW(wide_path.c_str(), GENERIC_READ, share_all, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file != INVALID_HANDLE_VALUE && !is_disk_file(file)) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// What the way through a new file came to: the new contents are in place, or writing them
// failed (the original is untouched, nothing else is worth trying), or the new file could
// not take the original's place, which is still there to be overwritten.
enum class replace_outcome { done, failed, not_possible };

// Writes the new contents into a temporary file beside the original and puts it in the
// original's place with ReplaceFileW, which gives it the original's security descriptor,
// attributes, creation time and named streams. No error of that merge is ignored: a file
// that cannot have the original's ACL must not take its place.
replace_outcome replace_through_new_file(const std::wstring& target, std::string_view bytes) {
  std::wstring temporary_path;
  const HANDLE temporary_file = create_temporary_beside(target, L"", temporary_path, nullptr);
  if (temporary_file == INVALID_HANDLE_VALUE) return replace_outcome::not_possible;
  // Declared before the handle, so that the handle is closed first and the delete works.
  scoped_temporary_file temporary_name(temporary_path);
  scoped_handle temporary(temporary_file);
  if (!write_all(temporary.get(), bytes) || !FlushFileBuffers(temporary.get()) ||
      !temporary.close()) {
    return replace_outcome::failed;
  }
  if (ReplaceFileW(target.c_str(), temporary_path.c_str(), nullptr, 0, nullptr, nullptr)) {
    temporary_name.keep();
    return replace_outcome::done;
  }
  const DWORD error = GetLastError();
  // These two can leave the original moved away and the new file, already given its
  // metadata, under the temporary name: moving it into the free place finishes the job.
  if ((error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) &&
      GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
    // Either way the new file stays: with the original gone, it is all there is.
    temporary_name.keep();
    return MoveFileExW(temporary_path.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)
               ? replace_outcome::done
               : replace_outcome::failed;
  }
  return GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES
             ? replace_outcome::failed
             : replace_outcome::not_possible;
}

bool seek_to(HANDLE file, LONGLONG offset) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

// Copies from's bytes, from its current position to its end, into to, and counts them.
bool copy_to_end(HANDLE from, HANDLE to, LONGLONG& copied) {
  std::string buffer(std::size_t{1} << 20, '\0');
  copied = 0;
  for (;;) {
    DWORD done = 0;
    if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &done, nullptr)) {
      return false;
    }
    if (done == 0) return true;
    if (!write_all(to, std::string_view(buffer.data(), done))) return false;
    copied += done;
  }
}

// Puts the copy's bytes back over the original and makes them durable.
bool put_back(HANDLE copy, HANDLE original, LONGLONG length) {
  LONGLONG copied = 0;
  return seek_to(copy, 0) && seek_to(original, 0) && copy_to_end(copy, original, copied) &&
         copied == length && seek_to(original, length) && SetEndOfFile(original) &&
         FlushFileBuffers(original);
}

// A security descriptor, as text, that gives the running user full access and nobody else
// any; empty when the user cannot be told.
std::wstring user_only_descriptor() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  scoped_handle token_closer(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::string user(size, '\0');
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
  LPWSTR sid = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
    return {};
  }
  std::wstring descriptor = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
  LocalFree(sid);
  return descriptor;
}

// The copy of the original that an overwrite in place keeps until it is done: beside the
// file where its folder allows, else in the user's temporary folder; its name says whose
// copy it is. Only its owner may open it, whatever the folder would hand down, since the
// original's readers are not known here.
HANDLE create_copy_file(const std::wstring& target, std::wstring& copy_path) {
  PSECURITY_DESCRIPTOR owner_only = nullptr;
  const std::wstring descriptor = user_only_descriptor();
  if (!descriptor.empty()) {
    ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor.c_str(), SDDL_REVISION_1,
                                                         &owner_only, nullptr);
  }
  SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), owner_only, FALSE};
  SECURITY_ATTRIBUTES* attributes = owner_only != nullptr ? &security : nullptr;
  HANDLE copy = create_temporary_beside(target, L"-original", copy_path, attributes);
  if (copy == INVALID_HANDLE_VALUE) {
    std::wstring folder(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
    if (length > 0 && length < folder.size()) {
      folder.resize(length);
      const std::size_t separator = target.find_last_of(L"\\/");
      copy = create_temporary_beside(folder + target.substr(separator + 1), L"-original",
                                     copy_path, attributes);
    }
  }
  if (owner_only != nullptr) LocalFree(owner_only);
  return copy;
}

// Overwrites the file itself, so that it keeps every link, its security descriptor and its
// streams. A durable copy of the original comes first, and any failure puts the original
// back from it; the new text is never longer, so the file is cut to length last.
write_result overwrite_in_place(const std::wstring& target, std::string_view bytes,
                                std::string& kept_copy) {
  // Read access too: the copy is made from this handle. A file that may be written but
  // not read cannot be saved this way.
  scoped_handle file(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, share_all,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return write_result::write_failed;
  const HANDLE original = file.get();
  std::wstring copy_path;
  const HANDLE copy_file = create_copy_file(target, copy_path);
  if (copy_file == INVALID_HANDLE_VALUE) return write_result::write_failed;
  scoped_temporary_file copy_name(copy_path);
  scoped_handle copy(copy_file);
  LONGLONG length = 0;
  if (!seek_to(original, 0) || !copy_to_end(original, copy.get(), length) ||
      !FlushFileBuffers(copy.get())) {
    return write_result::write_failed;
  }
  const auto size = static_cast<LONGLONG>(bytes.size());
  if (seek_to(original, 0) && write_all(original, bytes) && FlushFileBuffers(original) &&
      seek_to(original, size) && SetEndOfFile(original) && FlushFileBuffers(original)) {
    return write_result::ok;
  }
  if (put_back(copy.get(), original, length)) return write_result::write_failed;
  // The file holds neither text whole: the copy is all that is left of the original.
  copy_name.keep();
  kept_copy = to_utf8(copy_path, lone_surrogates::replaced).value_or(std::string());
  return write_result::original_kept_aside;
}

}  // namespace

read_result read_whole_file(const std::string& path, std::size_t limit, std::string& bytes) {
  scoped_handle file(open_disk_file(to_wide_path(path)));
  if (!file.valid()) return read_result::cannot_open;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return read_result::read_failed;
  const auto read_some = [&file](char* into, std::size_t room) -> long long {
    DWORD done = 0;
    if (!ReadFile(file.get(), into, static_cast<DWORD>(std::min(io_chunk, room)), &done,
                  nullptr)) {
      return -1;
    }
    return done;
  };
  return read_until_end(static_cast<std::size_t>(size.QuadPart), limit, bytes, read_some,
                        [](char*, std::size_t) {});
}

write_result replace_file_contents(const std::string& path, std::string_view bytes,
                                   std::string& kept_copy) {
  const std::wstring wide_path = to_wide_path(path);
  if (wide_path.empty()) return write_result::cannot_open;

  // May the file be written at all? Opened without truncation and never written through, so
  // a refusal (a read-only file, a file someone holds without sharing) leaves it as it was.
  std::wstring target;
  DWORD links = 0;
  {
    scoped_handle original(CreateFileW(wide_path.c_str(), GENERIC_WRITE, share_all, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!original.valid() || !is_disk_file(original.get()) ||
        !GetFileInformationByHandle(original.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
      return write_result::cannot_open;
    }
    links = information.nNumberOfLinks;
    target = final_path_of(original.get());
  }
  if (target.empty()) target = wide_path;

  // A new file put in the place of one of several links would leave the others behind.
  // No handle of ours is open on the file meanwhile: ReplaceFileW opens it itself.
  if (links == 1) {
    switch (replace_through_new_file(target, bytes)) {
      case replace_outcome::done:
        return write_result::ok;
      case replace_outcome::failed:
        return write_result::write_failed;
      case replace_outcome::not_possible:
        break;
    }
  }
  return overwrite_in_place(target, bytes, kept_copy);
}

bool path_exists(const std::string& path) {
  const std::wstring wide_path = to_wide_path(path);
  return !wide_path.empty() && GetFileAttributesW(wide_path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool file_opens_for_reading(const std::string& path) {
  return scoped_handle(open_disk_file(to_wide_path(path))).valid();
}

bool platform_uses_crlf() { return true; }
