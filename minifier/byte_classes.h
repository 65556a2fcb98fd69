// The classes of bytes the text stages tell apart, each written down once. Every mask of a
// block and every lookup table of the stages is made from these lists, so a class changed
// here changes everywhere at once (and the tests' own step-by-step model, which spells the
// classes out for itself, tells when the change alters a result).
#ifndef MINIFIER_BYTE_CLASSES_H_
#define MINIFIER_BYTE_CLASSES_H_

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace byte_class {

// Layout space: the whitespace the compaction may delete (FF and VT are kept as they are).
inline constexpr std::string_view layout = "\t\n\r ";
// Delimiters that layout space next to them can always go beside, but for the exceptions
// below, where CSS reads the space as a separator.
inline constexpr std::string_view tight_delimiters = ";:{}(),/";
// The tight delimiter that keeps the space before it ("and (max-width") ...
inline constexpr std::string_view keeps_space_before = "(";
// ... and the one that keeps the space after it ("(2n) td").
inline constexpr std::string_view keeps_space_after = ")";
// The bytes that end the rule or prelude a ':' stands in; a ':' followed first by '{' is
// in a selector (".a :hover") and keeps the space before it.
inline constexpr std::string_view rule_ends = "{;}";
// What CSS reads as whitespace: layout space and FF.
inline constexpr std::string_view css_space = "\t\n\r\f ";
// The line breaks that end a string no backslash escapes.
inline constexpr std::string_view string_breaks = "\n\r\f";
// The quotes that open and close strings.
inline constexpr std::string_view quotes = "'\"";
inline constexpr std::string_view hex_digits = "0123456789abcdefABCDEF";

// Whether the bytes hold the byte. A loop of its own rather than string_view::find: GCC's
// sanitizer builds refuse the null test inside find at compile time.
template <typename Bytes>
constexpr bool holds(const Bytes& bytes, char byte) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == byte) return true;
  }
  return false;
}

constexpr bool contains(std::string_view byte_class, unsigned char byte) {
  return holds(byte_class, static_cast<char>(byte));
}

// A class as a table of 256 entries, for the byte-at-a-time parts.
constexpr std::array<bool, 256> table(std::string_view byte_class,
                                      std::string_view except = {}) {
  std::array<bool, 256> entries{};
  for (const char byte : byte_class) entries[static_cast<unsigned char>(byte)] = true;
  for (const char byte : except) entries[static_cast<unsigned char>(byte)] = false;
  return entries;
}

// A byte with a role of its own in the rules, as a class of one.
template <char Byte>
inline constexpr std::array<char, 1> just = {Byte};

// Several classes as one list of bytes, for a mask or a search of any of them.
template <const auto&... Classes>
inline constexpr std::array<char, (Classes.size() + ...)> either = [] {
  std::array<char, (Classes.size() + ...)> bytes{};
  std::size_t next = 0;
  ((std::copy(Classes.begin(), Classes.end(), bytes.begin() + next), next += Classes.size()), ...);
  return bytes;
}();

// Eight classes of a stage, each the bytes whose high half is one of some values and whose
// low half one of others, so that one table lookup per half classifies a byte into all
// eight at once (a byte in a class gets its bit). Bytes from 0x80 up are in none.
struct nibble_layout {
  std::array<std::string_view, 8> classes{};
  std::array<unsigned char, 16> low{};
  std::array<unsigned char, 16> high{};
};

// Fails to compile when a class is not such a rectangle, or holds a byte from 0x80 up.
constexpr nibble_layout make_layout(std::array<std::string_view, 8> classes) {
  nibble_layout made{classes};
  for (unsigned bit = 0; bit < 8; ++bit) {
    for (const char byte : classes[bit]) {
      const auto value = static_cast<unsigned char>(byte);
      if (value >= 0x80) throw "a class of a layout holds a byte from 0x80 up";
      made.low[value & 15] |= static_cast<unsigned char>(1 << bit);
      made.high[value >> 4] |= static_cast<unsigned char>(1 << bit);
    }
  }
  for (unsigned bit = 0; bit < 8; ++bit) {
    for (unsigned value = 0; value < 0x80; ++value) {
      if (((made.low[value & 15] & made.high[value >> 4]) >> bit & 1) != 0 &&
          !holds(classes[bit], static_cast<char>(value))) {
        throw "a class of a layout is not the rectangle of its halves";
      }
    }
  }
  return made;
}

// A class of three or more bytes below 0x80, no two of them with the same low half, as a
// table from each low half to the one member that has it: a byte is in the class exactly
// when it equals the entry of its low half. Where no member has a low half, the entry has
// another low half, so that no byte equals it. `fits` is false for any other class (two
// bytes cost no more compared one by one).
struct low_half_table {
  bool fits = false;
  std::array<unsigned char, 16> members{};
};

template <typename Bytes>
constexpr low_half_table by_low_half(const Bytes& byte_class) {
  low_half_table made;
  for (unsigned half = 0; half < 16; ++half) made.members[half] = static_cast<unsigned char>(half ^ 1);
  std::array<bool, 16> taken{};
  for (std::size_t i = 0; i < byte_class.size(); ++i) {
    const auto value = static_cast<unsigned char>(byte_class[i]);
    if (value >= 0x80 || taken[value & 15]) return {};
    taken[value & 15] = true;
    made.members[value & 15] = value;
  }
  made.fits = byte_class.size() >= 3;
  return made;
}

// The bits of the layout whose classes together are exactly the class, or 0 when no union
// of them is (the class is then looked for byte by byte).
template <typename Bytes>
constexpr unsigned bits_of(const nibble_layout& layout, const Bytes& byte_class) {
  unsigned bits = 0;
  for (unsigned bit = 0; bit < 8; ++bit) {
    const std::string_view members = layout.classes[bit];
    bool inside = !members.empty();
    for (std::size_t i = 0; i < members.size(); ++i) inside = inside && holds(byte_class, members[i]);
    if (inside) bits |= 1u << bit;
  }
  for (std::size_t i = 0; i < byte_class.size(); ++i) {
    const auto value = static_cast<unsigned char>(byte_class[i]);
    if (value >= 0x80 || (layout.low[value & 15] & layout.high[value >> 4] & bits) == 0) return 0;
  }
  return bits;
}

}  // namespace byte_class

#endif  // MINIFIER_BYTE_CLASSES_H_
