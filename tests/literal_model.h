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

// The positions of the quotes that open and close strings in the first loaded_length
// bytes of text, read left to right (comments hide quotes; escaped quotes do nothing).
std::vector<std::int32_t> scan_quotes(const std::string& text, std::int32_t loaded_length);

// Erases comments one at a time, judging each opener by its slash's position in the
// loaded text. Returns the number erased.
std::int32_t remove_comments(std::string& text, const std::vector<std::int32_t>& quote_positions);

// Lifts the contents of each complete string into protected_strings (appended), leaving
// the emptied pair of quotes. Returns the number of entries appended.
std::int32_t extract_strings(std::string& text, std::vector<std::string>& protected_strings);

// Inserts the first string_count entries back into the emptied pairs, left to right.
// Returns false, with text unchanged, when some entry finds no pair (or there are fewer
// than string_count entries).
bool restore_strings(std::string& text, const std::vector<std::string>& protected_strings,
                     std::int32_t string_count);

// The two forms of the compaction rules. css_safe keeps the layout space CSS reads as a
// separator: before '(', after ')', and before a ':' whose first '{', ';' or '}' after it
// is '{' (a selector or an at-rule's prelude). byte_only deletes layout space next to all
// eight delimiters alike; the tests keep it to show what the exceptions save.
enum class compaction_rules { css_safe, byte_only };

// Deletes redundant layout space and semicolons in repeated passes. Returns the number
// of bytes deleted.
std::int32_t compact_text(std::string& text,
                          compaction_rules rules = compaction_rules::css_safe);

struct pipeline_result {
  std::string final_text;
  std::int32_t comment_count = 0;
  std::int32_t string_count = 0;
  std::int32_t removal_count = 0;
  bool restored = true;  // what restore_strings returned
  bool refused = false;  // a NUL byte: no stage ran, final_text is the loaded text
};

// The stages in the order of a minify run, from the loaded text to the text that would be
// saved; a text holding a NUL byte is refused first, as no stylesheet.
pipeline_result run_pipeline(const std::string& loaded_text,
                             compaction_rules rules = compaction_rules::css_safe);

}  // namespace literal_model

#endif  // TESTS_LITERAL_MODEL_H_
