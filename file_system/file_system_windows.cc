// The file operations of load and save on Windows, over binary I/O: line ends are handled
// by our own code, so every byte (0x1A, which the C runtime's text mode takes for the end
// of the file, included) passes through. Saving goes through replace_contents.cc, over the
// operations of file_primitives.h below: a new file takes the original's place through
// ReplaceFileW, which carries over the original's ACL, owner, attributes, creation time and
// named streams.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "file_system/file_primitives.h"
#include "file_system/file_system.h"
#include "file_system/read_loop.h"
#include "platform/utf16_windows.h"

native_file native_file_traits::none() { return INVALID_HANDLE_VALUE; }
bool native_file_traits::valid(native_file file) {
  return file != INVALID_HANDLE_VALUE && file != nullptr;
}
bool native_file_traits::close(native_file file) { return CloseHandle(file) != 0; }

namespace {

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

// The file at wide_path opened for reading as load opens it, if it is a file of the disk.
// Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open at all.
scoped_file open_disk_file(const std::wstring& wide_path) {
  if (wide_path.empty()) return {};
  scoped_file file(CreateFileW(wide_path.c_str(), GENERIC_READ, share_all, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (file.valid() && !is_disk_file(file.get())) return {};
  return file;
}

bool seek_to(HANDLE file, std::uint64_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

// A security descriptor that gives the running user full access and nobody else any, for
// LocalFree; null when the user cannot be told.
PSECURITY_DESCRIPTOR user_only_descriptor() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  const scoped_file token_closer(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::string user(size, '\0');
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
  LPWSTR sid = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
    return {};
  }
  const std::wstring text = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
  LocalFree(sid);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                       &descriptor, nullptr);
  return descriptor;
}

// Reads up to room bytes (at most a chunk) from where the handle stands: how many, 0 at
// the end, negative on an error.
long long read_next(HANDLE file, char* into, std::size_t room) {
  DWORD done = 0;
  if (!ReadFile(file, into, static_cast<DWORD>(std::min(io_chunk, room)), &done, nullptr)) {
    return -1;
  }
  return done;
}

}  // namespace

read_result read_whole_file(const std::string& path, std::size_t limit, std::string& bytes) {
  const scoped_file file = open_disk_file(to_wide_path(path));
  if (!file.valid()) return read_result::cannot_open;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return read_result::read_failed;
  const auto read_some = [&file](char* into, std::size_t room) {
    return read_next(file.get(), into, room);
  };
  return read_until_end(static_cast<std::size_t>(size.QuadPart), limit, bytes, read_some,
                        [](char*, std::size_t) {});
}

bool open_original(const std::string& path, original_file& file) {
  const std::wstring wide_path = to_wide_path(path);
  if (wide_path.empty()) return false;
  // Opened without truncation and never written through, so a refusal (a read-only file, a
  // file someone holds without sharing) leaves it as it was. Closed again at once:
  // ReplaceFileW opens the file itself, and no handle of ours may be open on it meanwhile.
  const scoped_file original(CreateFileW(wide_path.c_str(), GENERIC_WRITE, share_all, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!original.valid() || !is_disk_file(original.get()) ||
      !GetFileInformationByHandle(original.get(), &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return false;
  }
  file.links = information.nNumberOfLinks;
  file.path = final_path_of(original.get());
  if (file.path.empty()) file.path = wide_path;
  return true;
}

// Opened again, for reading too: a file that may be written but not read cannot be
// overwritten in place.
bool ready_to_overwrite(original_file& file) {
  file.handle = scoped_file(CreateFileW(file.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        share_all, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.handle.valid();
}

// Opened by us alone; the name goes on with the process and a tick count.
scoped_file create_new_file(std::wstring& path, bool owner_only) {
  const PSECURITY_DESCRIPTOR descriptor = owner_only ? user_only_descriptor() : nullptr;
  SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
  const std::wstring stem = path + std::to_wstring(GetCurrentProcessId()) + L"-";
  HANDLE file = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    path = stem + std::to_wstring(GetTickCount64() + attempt) + L".tmp";
    file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                       descriptor != nullptr ? &security : nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (descriptor != nullptr) LocalFree(descriptor);
  return scoped_file(file);
}

std::wstring temporary_folder() {
  std::wstring folder(MAX_PATH + 1, L'\0');
  const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  if (length == 0 || length >= folder.size()) return {};
  folder.resize(length);
  return folder;
}

long long read_at(scoped_file& file, std::uint64_t offset, char* into, std::size_t room) {
  return seek_to(file.get(), offset) ? read_next(file.get(), into, room) : -1;
}

bool write_at(scoped_file& file, std::uint64_t offset, std::string_view bytes) {
  if (!seek_to(file.get(), offset)) return false;
  for (std::size_t written = 0; written < bytes.size();) {
    const auto chunk = static_cast<DWORD>(std::min(io_chunk, bytes.size() - written));
    DWORD done = 0;
    if (!WriteFile(file.get(), bytes.data() + written, chunk, &done, nullptr) || done == 0) {
      return false;
    }
    written += done;
  }
  return true;
}

bool sync(scoped_file& file) { return FlushFileBuffers(file.get()) != 0; }

// Windows has no request to begin a write-back without waiting for it.
void start_writing_back(scoped_file&, std::uint64_t, std::uint64_t) {}

bool cut(scoped_file& file, std::uint64_t length) {
  return seek_to(file.get(), length) && SetEndOfFile(file.get());
}

// Nothing here: on Windows the save has never flushed a folder, and leaves its names to the
// file system.
void sync_folder(const std::wstring&) {}

void remove_file(const std::wstring& path) { DeleteFileW(path.c_str()); }

// Nothing to give: ReplaceFileW merges it all into the new file (put_in_place).
bool give_metadata(const original_file&, scoped_file&) { return true; }

// No error of ReplaceFileW's merge is ignored: a file that cannot have the original's ACL
// must not take its place.
rename_outcome put_in_place(const std::wstring& new_path, const original_file& original) {
  const wchar_t* target = original.path.c_str();
  if (ReplaceFileW(target, new_path.c_str(), nullptr, 0, nullptr, nullptr)) {
    return rename_outcome::done;
  }
  const DWORD error = GetLastError();
  const bool original_gone = GetFileAttributesW(target) == INVALID_FILE_ATTRIBUTES;
  // These two can leave the original moved away and the new file, already given its
  // metadata, under its own name: moving it into the free place finishes the job. Either
  // way the new file stays: with the original gone, it is all there is.
  if ((error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) &&
      original_gone) {
    return MoveFileExW(new_path.c_str(), target, MOVEFILE_WRITE_THROUGH) ? rename_outcome::done
                                                                          : rename_outcome::failed;
  }
  DeleteFileW(new_path.c_str());
  return original_gone ? rename_outcome::failed : rename_outcome::not_possible;
}

std::string shown_path(const std::wstring& path) {
  return to_utf8(path, lone_surrogates::replaced).value_or(std::string());
}

bool path_exists(const std::string& path) {
  const std::wstring wide_path = to_wide_path(path);
  return !wide_path.empty() && GetFileAttributesW(wide_path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool file_opens_for_reading(const std::string& path) {
  return open_disk_file(to_wide_path(path)).valid();
}

bool platform_uses_crlf() { return true; }
