// The fixed order of a run: banner, mode, the stages with their report lines, totals, the
// save only when the text got shorter, and the wait for Enter. The exit status is 0 on
// every path; whatever went wrong has been said on the console.
#include "driver/run_cssqueeze.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "driver/command_line.h"
#include "driver/console_report.h"
#include "driver/help_and_version.h"
#include "file_system/stylesheet_file.h"
#include "minifier/minify_text.h"
#include "minifier/text_limits.h"
#include "shell_menu/register_context_menu.h"

namespace {

// The line under the title line (help_and_version.h).
constexpr const char* credit_line = "by the cssqueeze developers, 2026";

// The lines that say why a file was left as it was. The wording, lower-case starts and all,
// is what users of the tool know.
constexpr const char* cannot_open_message = "We don't access to that file.";
constexpr const char* read_failed_message =
    "We couldn't read the whole file; it was left untouched.";
constexpr const char* not_text_message =
    "That file is not a text stylesheet (it holds a NUL byte); it was left untouched.";
constexpr const char* cannot_reopen_message = "we couldn't access the file again.";
constexpr const char* write_failed_message = "we couldn't write the file; it was left as it was.";
// Only when the disk failed twice, once while the new text went over the file and again
// while its old bytes went back: the copy they sit in is all that is left of the original.
constexpr const char* kept_aside_message =
    "we couldn't write the file, nor put it back as it was; its original bytes are in ";

// Loads the stylesheet, or says why not and returns false.
bool load(const std::string& path, std::string& working_text, std::int32_t& loaded_length,
          bool& line_end_dropped, std::ostream& out) {
  switch (load_stylesheet(path, max_text_length, working_text, loaded_length, &line_end_dropped)) {
    case read_result::ok:
      break;
    case read_result::cannot_open:
      out << cannot_open_message << std::endl;
      return false;
    case read_result::too_large:
      out << "That file is too large (over " << max_text_length
          << " bytes); it was left untouched." << std::endl;
      return false;
    case read_result::read_failed:
      out << read_failed_message << std::endl;
      return false;
  }
  return true;
}

// Saves the shorter text, finishing the save begun early when there is one; says so when
// the file kept its former contents.
void save(const std::string& path, const std::string& working_text, new_file_contents* early,
          std::ostream& out) {
  std::string kept_copy;
  switch (save_stylesheet(path, working_text, &kept_copy, early)) {
    case write_result::ok:
      break;
    case write_result::cannot_open:
      out << cannot_reopen_message << std::endl;
      break;
    case write_result::write_failed:
      out << write_failed_message << std::endl;
      break;
    case write_result::original_kept_aside:
      out << kept_aside_message << kept_copy << std::endl;
      break;
  }
}

void minify(const std::string& path, std::ostream& out) {
  std::string working_text;
  std::int32_t loaded_length = 0;
  bool line_end_dropped = false;
  if (!load(path, working_text, loaded_length, line_end_dropped, out)) return;

  // A large text is written into the new file beside the original while the rest of it is
  // still being worked on, so that the disk's work and the text's overlap. That file takes
  // the original's place only if the save comes to be; otherwise it goes. A part that
  // could not be handed to it (no memory for the CR LF copy Windows writes) leaves the save
  // to the whole text.
  std::unique_ptr<new_file_contents> early;
  bool early_whole = true;
  const auto write_early = [&](std::string_view part) {
    if (!early_whole) return;
    try {
      if (early == nullptr) early = std::make_unique<new_file_contents>(path);
      append_stylesheet_text(*early, part);
    } catch (const std::bad_alloc&) {
      early_whole = false;
    }
  };
  const minify_counts counts =
      minify_text(working_text, line_end_dropped, sharing_for_this_machine(), write_early);
  if (counts.refused) {
    out << not_text_message << std::endl;
    return;
  }
  // A line end put back is part of the text the totals start from.
  if (counts.line_end_kept) ++loaded_length;
  report_count(out, counts.comment_count, " comment", " removed.", "no comment found.");
  report_count(out, counts.string_count, " string", " still untouched.", "no string found.");
  report_count(out, counts.removal_count, " useless charachter", " removed.",
               "no useless charachter found.");

  if (report_totals(out, loaded_length, to_count(working_text.size()))) {
    save(path, working_text, early_whole ? early.get() : nullptr, out);
  }
}

}  // namespace

int run_cssqueeze(const char* const* argv, std::ostream& out, std::istream& in) {
  if (argv[0] != nullptr && argv[1] != nullptr && answer_help_or_version(argv[1], out)) return 0;
  out << title_line << '\n' << credit_line << std::endl << std::endl;
  if (argv[0] != nullptr && argv[1] != nullptr) {
    try {
      minify(choose_stylesheet_path(argv), out);
    } catch (const std::bad_alloc&) {
      // Nothing has been written before the save, and the save writes beside the file.
      out << "Not enough memory to compress that file; it was left untouched." << std::endl;
    }
  } else {
    register_context_menu(out);
  }
  wait_for_enter(in);
  return 0;
}
