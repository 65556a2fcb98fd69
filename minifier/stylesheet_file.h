// Moves the stylesheet between its file and working_text. Loading keeps the file's lines
// joined by LF without the final line end; saving never leaves a half-written file: the
// new text is written completely beside the original and then takes its place.
#ifndef MINIFIER_STYLESHEET_FILE_H_
#define MINIFIER_STYLESHEET_FILE_H_

#include <cstdint>
#include <ostream>
#include <string>

// Reads the regular file at path into working_text (its lines joined by LF, the LF that
// ends the last line dropped; on Windows CR LF read as LF) and sets loaded_length. On
// failure prints one line to out and returns false, with the file untouched: it cannot be
// opened or is not a regular file, a read fails part way, or the text is longer than
// max_text_length.
bool load_stylesheet(const std::string& path, std::string& working_text,
                     std::int32_t& loaded_length, std::ostream& out);

// Replaces the contents of the file at path with working_text (on Windows each LF written
// as CR LF), keeping the file's permission bits and, for a symbolic link, the link. Prints
// one line to out if the file cannot be opened for writing or the new text cannot be
// written completely; the file then keeps its former contents.
void save_stylesheet(const std::string& path, const std::string& working_text, std::ostream& out);

// The line-end handling, kept apart from the disk so that it can be checked on every
// platform. to_working_text drops one final LF (and with fold_crlf first folds each CR LF
// into LF); to_file_text turns each LF into CR LF.
void to_working_text(std::string& bytes, bool fold_crlf);
std::string to_file_text(const std::string& working_text);

#endif  // MINIFIER_STYLESHEET_FILE_H_
