// Moves the stylesheet between its file and working_text. Loading keeps the file's lines
// joined by LF without the final line end; saving changes the file's bytes and nothing else,
// and never leaves a half-written file behind without a copy of the original. Neither
// prints anything: the driver turns their results into the console's words.
#ifndef FILE_SYSTEM_STYLESHEET_FILE_H_
#define FILE_SYSTEM_STYLESHEET_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "file_system/file_system.h"

// Reads the regular file at path, when its text is at most `limit` bytes long (which fits
// loaded_length: at most 2147483647), into working_text (its lines joined by LF, the LF that
// ends the last line dropped; on Windows CR LF read as LF) and sets loaded_length, and
// *line_end_dropped (when given) to whether a final LF was dropped. They change only on
// ok; too_large also when the loaded text is longer than the limit.
read_result load_stylesheet(const std::string& path, std::size_t limit, std::string& working_text,
                            std::int32_t& loaded_length, bool* line_end_dropped = nullptr);

// Replaces the contents of the file at path with working_text (on Windows each LF written
// as CR LF), as replace_file_contents does; a symbolic link stays a link. On
// original_kept_aside, *kept_copy (when given) names the file holding the old contents.
// early (when given) is a save of the same file begun while the text was made, which
// append_stylesheet_text gave all of working_text: it is finished, and only where it
// cannot be is the save made from working_text.
write_result save_stylesheet(const std::string& path, const std::string& working_text,
                             std::string* kept_copy = nullptr,
                             new_file_contents* early = nullptr);

// Appends a part of the text to a save begun early, as save_stylesheet writes it.
void append_stylesheet_text(new_file_contents& early, std::string_view part);

// The line-end handling, kept apart from the disk so that it can be checked on every
// platform. to_working_text drops one final LF (and with fold_crlf first folds each CR LF
// into LF) and returns whether it did; to_file_text turns each LF into CR LF.
bool to_working_text(std::string& bytes, bool fold_crlf);
std::string to_file_text(std::string_view working_text);

#endif  // FILE_SYSTEM_STYLESHEET_FILE_H_
