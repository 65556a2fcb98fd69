// Sixty-four bytes of a text looked at together, and the search for a class of bytes. Bit
// k of a block's mask stands for byte k of the block.
#ifndef MINIFIER_BYTE_BLOCK_H_
#define MINIFIER_BYTE_BLOCK_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>

#include "minifier/bit_tricks.h"
#include "minifier/byte_classes.h"
#include "minifier/byte_lanes.h"
#include "minifier/path_stages.h"

#include "minifier/code_path_begin.h"
namespace CSSQUEEZE_CODE_PATH {

// The bytes a block holds: one bit of a 64-bit mask each.
constexpr std::size_t block_size = 64;
// Room after a block's bytes copied out, where the mover's last wide load may read.
constexpr std::size_t copy_padding = 32;
using block_bytes = char[block_size + copy_padding];
constexpr std::size_t not_found = std::string_view::npos;

template <const auto& Class>
inline constexpr byte_class::low_half_table low_half_members = byte_class::by_low_half(Class);

// Bit k set: byte k of the lane is in the class (a list of bytes of byte_classes.h). Where
// the lanes classify, a class whose members all differ in their low half takes one table
// lookup and one compare instead of a compare for each member.
template <const auto& Class>
std::uint32_t lane_matches_class(byte_lane lane) {
  if constexpr (lanes_classify && low_half_members<Class>.fits) {
    return lane_matches_low_halves<low_half_members<Class>.members>(lane);
  } else {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return lane_matches<Class[I]...>(lane);
    }(std::make_index_sequence<Class.size()>{});
  }
}

// The first byte of text[from, size) that is in the class (with In false: that is not),
// or size.
template <const auto& Class, bool In = true>
std::size_t find_in_class(const char* text, std::size_t size, std::size_t from) {
  constexpr auto flip = static_cast<std::uint32_t>(In ? 0 : bits_below(lane_size));
  for (; from + lane_size <= size; from += lane_size) {
    const std::uint32_t mask = lane_matches_class<Class>(load_lane(text + from)) ^ flip;
    if (mask != 0) return from + static_cast<std::size_t>(std::countr_zero(mask));
  }
  while (from < size && byte_class::contains({Class.data(), Class.size()},
                                               static_cast<unsigned char>(text[from])) != In) {
    ++from;
  }
  return from;
}

// Where the pair of bytes First, Second first stands in text[from, size): the position of
// First, or size.
template <char First, char Second>
std::size_t find_pair(const char* text, std::size_t size, std::size_t from) {
  for (; from + lane_size < size; from += lane_size) {
    const std::uint32_t pairs =
        lane_matches<First>(load_lane(text + from)) & lane_matches<Second>(load_lane(text + from + 1));
    if (pairs != 0) return from + static_cast<std::size_t>(std::countr_zero(pairs));
  }
  for (; from + 1 < size; ++from) {
    if (text[from] == First && text[from + 1] == Second) return from;
  }
  return size;
}

// The byte after the block of text at `from`: the padding at the end of the text. Not kept
// in the block, which compaction builds for every 64 bytes and never asks this of.
inline char byte_after_block(std::string_view text, std::size_t from, char padding) {
  return from + block_size < text.size() ? text[from + block_size] : padding;
}

// A block of a text. At the end of the text it is padded with `padding`, which the caller
// picks so that it reads as the end of the text does. Where the lanes classify, each byte
// is classified once into the eight classes of the stage's layout; a class no union of
// those is (or every class, with no layout) is looked for byte by byte. Classes is void,
// or a type whose `layout` is the stage's layout.
template <typename Classes = void>
class byte_block {
 public:
  byte_block(std::string_view text, std::size_t from, char padding = '\0') {
    const char* at = text.data() + from;
    char padded[block_size];
    if (from + block_size > text.size()) {
      std::memset(padded, padding, sizeof padded);
      std::memcpy(padded, at, text.size() - from);
      at = padded;
    }
    for (std::size_t i = 0; i < lane_count; ++i) lanes_[i] = load_lane(at + lane_size * i);
    if constexpr (classified) {
      for (std::size_t i = 0; i < lane_count; ++i) {
        classes_[i] = classify_lane<Classes::layout>(lanes_[i]);
      }
    }
  }

  // Bit k set: byte k is in the class.
  template <const auto& Class>
  std::uint64_t any_in() const {
    std::uint64_t mask = 0;
    constexpr unsigned bits = layout_bits<Class>();
    if constexpr (bits != 0) {
      for (std::size_t i = 0; i < lane_count; ++i) {
        mask |= static_cast<std::uint64_t>(lane_has_bits<bits>(classes_[i])) << (lane_size * i);
      }
      return mask;
    }
    for (std::size_t i = 0; i < lane_count; ++i) {
      mask |= static_cast<std::uint64_t>(lane_matches_class<Class>(lanes_[i])) << (lane_size * i);
    }
    return mask;
  }

  // The bits of the layout that make up the class, or 0 to compare byte by byte.
  template <const auto& Class>
  static constexpr unsigned layout_bits() {
    if constexpr (!classified) {
      return 0;
    } else {
      return byte_class::bits_of(Classes::layout, Class);
    }
  }

  // The block's bytes, loaded already, stored at `to` (which may overlap where they came from).
  void store_to(char* to) const {
    for (std::size_t i = 0; i < lane_count; ++i) std::memcpy(to + lane_size * i, &lanes_[i], lane_size);
  }

  // The block's bytes into out, and zeros after them, where the mover may read.
  void copy_to(block_bytes& out) const {
    store_to(out);
    std::memset(out + block_size, 0, copy_padding);
  }

 private:
  static constexpr bool classified = lanes_classify && !std::is_void_v<Classes>;
  static constexpr std::size_t lane_count = block_size / lane_size;
  byte_lane lanes_[lane_count];
  lane_classes classes_[lane_count];  // unused where not classified
};

}  // namespace CSSQUEEZE_CODE_PATH
#include "minifier/code_path_end.h"

#endif  // MINIFIER_BYTE_BLOCK_H_
