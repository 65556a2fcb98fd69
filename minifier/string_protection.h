// Lifts the contents of quoted strings out of working_text before compaction and puts them
// back after it, so that nothing inside a string is ever touched. The emptied quote pairs
// left in the text and the order of the lifted entries are the only link between the two.
#ifndef MINIFIER_STRING_PROTECTION_H_
#define MINIFIER_STRING_PROTECTION_H_

#include <cstddef>
#include <cstdint>
#include <memory>
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
  std::size_t count = 0;
  std::size_t content_bytes = 0;  // the entries' lengths added up

  std::size_t size() const { return count; }
  std::string_view records() const { return {buffer_.get(), used_}; }
  // Makes room for the records to reach the given number of bytes without moving.
  void reserve(std::size_t bytes);
  void append(std::string_view entry);

 private:
  friend std::int32_t extract_strings(std::string&, lifted_strings&);

  // Not a std::string: extraction writes straight into room reserved for the whole text,
  // and a string can only be written within its size, which would touch (and zero) every
  // reserved page, where most of them stay unused on real stylesheets.
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
};

// Reads the entries of a lifted_strings in order, from the first.
class lifted_reader {
 public:
  explicit lifted_reader(const lifted_strings& lifted) : rest_(lifted.records()) {}
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
