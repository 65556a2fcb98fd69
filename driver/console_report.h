// The console lines of a minify run: one line per counting stage, the totals, and the
// wait for Enter that ends every run. Every line ends with a newline and a flush.
#ifndef DRIVER_CONSOLE_REPORT_H_
#define DRIVER_CONSOLE_REPORT_H_

#include <cstdint>
#include <istream>
#include <ostream>
#include <string_view>

// Prints count, noun, "s" when count > 1, and tail; or none_message alone when count <= 0.
void report_count(std::ostream& out, std::int32_t count, std::string_view noun,
                  std::string_view tail, std::string_view none_message);

// Prints "there is nothing to change." or the "total: " and "% compressed." lines, and
// returns whether the length changed, that is whether the file must be written back.
bool report_totals(std::ostream& out, std::int32_t loaded_length, std::int32_t final_length);

// Reads one character and discards it; returns at once at end of input.
void wait_for_enter(std::istream& in);

#endif  // DRIVER_CONSOLE_REPORT_H_
