// The few operations on files that a save is made of, one implementation per platform
// (file_system_posix.cc, file_system_windows.cc). What a save tries first, what it falls back
// to and what it puts back on a failure is written once, above them, in replace_contents.cc.
// Internal to the file layer: the rest of the tool knows only file_system.h.
#ifndef FILE_SYSTEM_FILE_PRIMITIVES_H_
#define FILE_SYSTEM_FILE_PRIMITIVES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/scoped_handle.h"

// Paths as the platform's file API takes them, and its open files: bytes and descriptors on
// POSIX, UTF-16 and HANDLEs on Windows.
#ifdef _WIN32
using native_path = std::wstring;
using native_file = void*;
inline constexpr std::wstring_view path_separators = L"\\/";
#else
using native_path = std::string;
using native_file = int;
inline constexpr std::string_view path_separators = "/";
#endif

struct native_file_traits {
  using value_type = native_file;
  static native_file none();
  static bool valid(native_file file);
  static bool close(native_file file);
};
using scoped_file = scoped_handle<native_file_traits>;

// The file being saved. On POSIX handle is open from the first check to the end of the
// save; on Windows it is open only for the overwrite in place (see ready_to_overwrite).
struct original_file {
  native_path path;  // the file itself, reached through any symbolic link
  scoped_file handle;
  std::uint64_t links = 0;
};

// Whether the file at path may be written, without changing it: false when it is missing,
// refuses writing (read-only, held by someone else) or is not a regular file of the disk.
// On true, file describes it.
bool open_original(const std::string& path, original_file& file);

// Gives file.handle the read and write access that the overwrite in place needs (the copy
// is made through it); false when the file may be written but not read.
bool ready_to_overwrite(original_file& file);

// Creates a file that did not exist, named path plus what makes the name unique here, and
// sets path to its name. owner_only: nobody but the running user may open it, whatever its
// folder hands down (on POSIX every such file is made so). Invalid when it cannot be made.
scoped_file create_new_file(native_path& path, bool owner_only);

// The folder, ending in a separator, for a file of ours when the original's folder refuses
// one: $TMPDIR or /tmp, %TEMP%. Empty when the system names none.
native_path temporary_folder();

// Reads up to room bytes from offset on: how many, 0 at the end, negative on an error.
long long read_at(scoped_file& file, std::uint64_t offset, char* into, std::size_t room);

// Writes all of bytes from offset on; false when any of them could not be written (a file
// size limit included: it fails the write instead of ending the tool).
bool write_at(scoped_file& file, std::uint64_t offset, std::string_view bytes);

// Makes what was written durable.
bool sync(scoped_file& file);

// Asks the system to begin writing bytes [offset, offset + length) to the disk now, and
// returns without waiting: a sync later then has less left to wait for. Nothing where the
// system offers no such request.
void start_writing_back(scoped_file& file, std::uint64_t offset, std::uint64_t length);

// Cuts the file to length bytes.
bool cut(scoped_file& file, std::uint64_t length);

// Makes the names in folder durable, which a failure cannot undo and is not reported.
void sync_folder(const native_path& folder);

void remove_file(const native_path& path);

// Gives new_file what the original has and a file put in its place must keep (owner, access
// rights, extended attributes); false when any of it is refused or differs. On Windows
// there is nothing to do: put_in_place carries all of it over.
bool give_metadata(const original_file& original, scoped_file& new_file);

// What putting the new file in the original's place came to: done; failed, with the
// original untouched or gone and nothing else worth trying; or not_possible, the original
// still there to be overwritten in place.
enum class rename_outcome { done, failed, not_possible };

// Puts the closed file at new_path in the original's place: rename() on POSIX, ReplaceFileW
// on Windows. The new file is this call's from then on: removed unless it is in place, or
// (on Windows, when the original went away half way) kept as all there is of the text.
rename_outcome put_in_place(const native_path& new_path, const original_file& original);

// The path as the console shows it, in UTF-8.
std::string shown_path(const native_path& path);

#endif  // FILE_SYSTEM_FILE_PRIMITIVES_H_
