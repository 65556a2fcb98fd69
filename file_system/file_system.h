// The file operations of a run, in portable types. One implementation stands behind them,
// chosen at link time like the registry's: file_system_posix.cc or file_system_windows.cc
// for the disk, file_system_fake.cc for files kept in memory by the driver's tests.
#ifndef FILE_SYSTEM_FILE_SYSTEM_H_
#define FILE_SYSTEM_FILE_SYSTEM_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

enum class read_result { ok, cannot_open, too_large, read_failed };

// Reads the whole regular file at path into bytes, which is changed only on ok.
// cannot_open: missing, unreadable, a folder or anything else that is not a regular file
// (a FIFO is never waited on); too_large: more than limit bytes, refused without reading
// them; read_failed: an error part way.
read_result read_whole_file(const std::string& path, std::size_t limit, std::string& bytes);

enum class write_result { ok, cannot_open, write_failed, original_kept_aside };

// Puts bytes in the place of the contents of the file at path, keeping the file itself: its
// owner, access rights, links and other metadata stay. Where a new file beside it can be
// given all of those, the new contents go into one that is renamed over the original;
// otherwise a copy of the original is put aside and the file is overwritten where it is.
// cannot_open: the file may not be opened for writing (nothing touched); write_failed: the
// new contents could not be written completely or put in place (the old contents stay);
// original_kept_aside: the overwrite failed and the old contents could not be put back
// either, and kept_copy names the file that holds them.
write_result replace_file_contents(const std::string& path, std::string_view bytes,
                                   std::string& kept_copy);

// A replace_file_contents whose new contents are written while they are still being made,
// part after part, so that the disk's work overlaps the text's. It goes through a new file
// beside the original, which nothing touches until finish puts that file in its place;
// abandoned (destroyed unfinished), it removes the new file.
class new_file_contents {
 public:
  // Opens the file at path and makes the new file; where either fails, or where the file
  // must be overwritten in place (it has other links), nothing is made and every append is
  // skipped.
  explicit new_file_contents(const std::string& path);
  ~new_file_contents();
  new_file_contents(const new_file_contents&) = delete;
  new_file_contents& operator=(const new_file_contents&) = delete;

  // Writes bytes after those before; after a failed write nothing more is written.
  void append(std::string_view bytes);

  // After the last append: gives the new file everything the original has and puts it in
  // its place, as replace_file_contents does. Nothing (std::nullopt) where the save must be
  // made by replace_file_contents from the whole contents instead: nothing was begun, or
  // the new file cannot be made the same as the original.
  std::optional<write_result> finish();

 private:
  struct state;
  std::unique_ptr<state> state_;
};

// Whether anything has that name: a file, a folder, a link, even one that leads nowhere.
bool path_exists(const std::string& path);

// Whether the file at path opens for reading as read_whole_file opens it; a folder does not.
bool file_opens_for_reading(const std::string& path);

// Whether the platform's text files end their lines with CR LF (Windows), which loading
// folds into LF and saving writes back.
bool platform_uses_crlf();

#endif  // FILE_SYSTEM_FILE_SYSTEM_H_
