// Lengths, positions and counts of the pipeline are 32-bit signed, as the console
// report prints them; this is the one place that narrows a size to that type.
#ifndef MINIFIER_TEXT_LIMITS_H_
#define MINIFIER_TEXT_LIMITS_H_

#include <cstddef>
#include <cstdint>

// The longest text the stages take: the largest 32-bit signed value. The driver hands it to
// the load, which refuses a longer text, so every count the stages produce fits.
constexpr std::size_t max_text_length = 2147483647;

// Narrows a byte count of a text no longer than max_text_length.
constexpr std::int32_t to_count(std::size_t value) {
  return static_cast<std::int32_t>(value);
}

#endif  // MINIFIER_TEXT_LIMITS_H_
