// Step-by-step models of the text stages, used only by the tests to check the fast ones.
// Each function follows the stage's rules one byte erasure, one insertion or one search at
// a time, exactly in the order the rules give, and is quadratic on purpose: it must stay
// easy to hold next to the rules and see that it is the same. Never use it on real files.
#ifndef TESTS_LITERAL_MODEL_H_
#define TESTS_LITERAL_MODEL_H_

#include <cstdint>
#include <string>
#include <vector>

namespace literal_model {

// The forms of the rules. css_safe is the tool's: a string ends at its closing quote or at a
// line break; the byte after a backslash, and the layout byte that ends a hex escape or a
// string, are part of a name; the space before '(', after ')', before a ':' whose first
// unescaped '{', ';' or '}' after it is '{' (a selector or an at-rule's prelude), and
// between '/' and '*' stays. The two others are kept only for the browser check, to show
// that it notices what they break: face_value reads every byte for what it looks like (a
// string runs on to its closing quote, an escaped byte is the punctuation it looks like,
// '/' and '*' may close up); byte_only is face_value that also deletes layout space next to
// all eight delimiters alike.
enum class rule_set { css_safe, face_value, byte_only };

// The positions of the quotes that open strings and of the quotes or line breaks that end
// them in the first loaded_length bytes of text, read left to right (comments hide quotes;
// escaped quotes do nothing).
std::vector<std::int32_t> scan_quotes(const std::string& text, std::int32_t loaded_length,
                                      rule_set rules = rule_set::css_safe);

// css_safe: erases the comments CSS reads in the text (outside strings, an unescaped "/*"
// up to the first "*/" after its asterisk), each one shrunk to "/**/" instead where the
// bytes on either side would join into one token or a new opener; an unclosed one stays.
// Otherwise the old byte rules: comments erased one at a time, each opener judged by its
// slash's position in the loaded text, a closer may share its opener's asterisk, and a '/'
// before an erased comment and a '*' after it open a new one. Returns the number erased.
std::int32_t remove_comments(std::string& text, const std::vector<std::int32_t>& quote_positions,
                             rule_set rules = rule_set::css_safe);

// The text ends inside a string, or right after an unescaped backslash: a line break after
// it would mean something, so loading keeps the file's final one.
bool ends_open(const std::string& text);

// Lifts the contents of each string that ends into protected_strings (appended), leaving
// the emptied pair of quotes, or the opening quote and the line break that ended it.
// Returns the number of entries appended.
std::int32_t extract_strings(std::string& text, std::vector<std::string>& protected_strings,
                             rule_set rules = rule_set::css_safe);

// Inserts the first string_count entries back into the emptied strings, left to right.
// Returns false, with text unchanged, when some entry finds none (or there are fewer than
// string_count entries).
bool restore_strings(std::string& text, const std::vector<std::string>& protected_strings,
                     std::int32_t string_count, rule_set rules = rule_set::css_safe);

// Deletes redundant layout space and semicolons in repeated passes, from a text whose
// strings are emptied. Returns the number of bytes deleted.
std::int32_t compact_text(std::string& text, rule_set rules = rule_set::css_safe);

struct pipeline_result {
  std::string final_text;
  std::int32_t comment_count = 0;
  std::int32_t string_count = 0;
  std::int32_t removal_count = 0;
  bool restored = true;  // what restore_strings returned
  bool refused = false;  // a NUL byte: no stage ran, final_text is the loaded text
  bool line_end_kept = false;  // the final line break loading dropped was put back
};

// The stages in the order of a minify run, from the loaded text to the text that would be
// saved; a text holding a NUL byte is refused first, as no stylesheet.
// line_end_dropped: the file ended in a line break that loading dropped; with css_safe it
// is put back where the text ends open. A '@charset "' that the text did not begin with is
// kept from its first byte by a space.
pipeline_result run_pipeline(const std::string& loaded_text,
                             rule_set rules = rule_set::css_safe, bool line_end_dropped = false);

}  // namespace literal_model

#endif  // TESTS_LITERAL_MODEL_H_
