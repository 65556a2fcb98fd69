// The file operations load and save need, in portable types. file_system_posix.cc and
// file_system_windows.cc implement them; the choice is made at link time.
#ifndef MINIFIER_FILE_SYSTEM_H_
#define MINIFIER_FILE_SYSTEM_H_

#include <cstddef>
#include <string>
#include <string_view>

enum class read_result { ok, cannot_open, too_large, read_failed };

// Reads the whole regular file at path into bytes. cannot_open: missing, unreadable, a
// directory or anything else that is not a regular file (a FIFO is never waited on);
// too_large: more than limit bytes, nothing read; read_failed: an error part way.
read_result read_whole_file(const std::string& path, std::size_t limit, std::string& bytes);

enum class write_result { ok, cannot_open, write_failed };

// Replaces the contents of the file at path by bytes, all or nothing: cannot_open when the
// file may not be opened for writing (nothing touched); write_failed when the new contents
// could not be written completely or put in place (the old contents stay).
write_result replace_file_contents(const std::string& path, std::string_view bytes);

// Whether anything (a file, a folder, a link, even a dangling one) has this name; a
// relative path is taken from the working folder. Says nothing about whether it can be read.
bool path_exists(const std::string& path);

// Whether the platform's text files use CR LF line ends (Windows) that loading folds into
// LF and saving writes back.
bool platform_uses_crlf();

#endif  // MINIFIER_FILE_SYSTEM_H_
