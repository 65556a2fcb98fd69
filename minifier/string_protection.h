// Lifts the contents of quoted strings out of working_text before compaction and puts them
// back after it, so that nothing inside a string is ever touched. The emptied quote pairs
// left in the text and the order of the lifted entries are the only link between the two.
#ifndef MINIFIER_STRING_PROTECTION_H_
#define MINIFIER_STRING_PROTECTION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The lifted contents, in order of position, back to back in one byte buffer, each behind
// its length in a variable number of bytes (seven bits per byte, low bits first, the high
// bit set on every byte but the last). An entry of fewer than 16384 bytes thus takes no
// more room than its string took in the text (contents and two quotes), a longer one at
// most three bytes more, so the buffer stays within the text's size and a little: a
// string or an offset per entry would cost several times the text on millions of tiny
// strings.
struct lifted_strings {
  std::string records;
  std::size_t count = 0;

  std::size_t size() const { return count; }
  void append(std::string_view entry);
};

// Reads the entries of a lifted_strings in order, from the first.
class lifted_reader {
 public:
  explicit lifted_reader(const lifted_strings& lifted) : rest_(lifted.records) {}
  // The next entry; only to be called while entries remain.
  std::string_view next();

 private:
  std::string_view rest_;
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
