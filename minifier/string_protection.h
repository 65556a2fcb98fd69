// Lifts the contents of quoted strings out of working_text before compaction and puts them
// back after it, so that nothing inside a string is ever touched. The emptied quote pairs
// left in the text and the order of the lifted entries are the only link between the two.
#ifndef MINIFIER_STRING_PROTECTION_H_
#define MINIFIER_STRING_PROTECTION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The lifted contents, in order of position. One byte buffer with end offsets rather than a
// string per entry: millions of tiny strings would otherwise cost far more than the text.
struct lifted_strings {
  std::string bytes;                // every entry's contents, back to back
  std::vector<std::size_t> ends;    // entry i is bytes[ends[i - 1], ends[i]), ends[-1] = 0

  std::size_t size() const { return ends.size(); }
  std::string_view entry(std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends[i - 1];
    return std::string_view(bytes).substr(begin, ends[i] - begin);
  }
};

// True when the byte at position is a quote behind an odd number of consecutive
// backslashes in text: such a quote neither opens nor closes a string.
bool is_escaped(std::string_view text, std::size_t position);

// Moves the contents of every complete string (an unescaped ' or " up to the next unescaped
// quote of the same kind) into protected_strings and deletes them from working_text, which
// keeps the empty pair of quotes. Stops quietly at an unterminated quote. Returns the number
// of entries; prints nothing. Linear.
std::int32_t extract_strings(std::string& working_text, lifted_strings& protected_strings);

// Puts the first string_count entries back, in order, each into the next emptied pair
// ('' or "" whose first quote is unescaped) after the previous entry's closing quote.
// Returns false, with working_text unchanged, if some entry found no pair to go into (only
// possible if a stage between the two broke a pair). Prints nothing. Linear.
bool restore_strings(std::string& working_text, const lifted_strings& protected_strings,
                     std::int32_t string_count);

#endif  // MINIFIER_STRING_PROTECTION_H_
