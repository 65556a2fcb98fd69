// The report lines; the wording and the misspelling "charachter" are what users of the
// tool know, so they stay byte for byte.
#include "driver/console_report.h"

#include <cstdint>

void report_count(std::ostream& out, std::int32_t count, std::string_view noun,
                  std::string_view tail, std::string_view none_message) {
  if (count <= 0) {
    out << none_message << std::endl;
    return;
  }
  out << count << noun;
  if (count > 1) out << 's';
  out << tail << std::endl;
}

bool report_totals(std::ostream& out, std::int32_t loaded_length, std::int32_t final_length) {
  const std::int32_t removed_total = loaded_length - final_length;
  if (removed_total == 0) {
    out << "there is nothing to change." << std::endl;
    return false;
  }
  out << "total: " << removed_total << " useless charachter";
  if (removed_total > 1) out << 's';
  out << " removed." << std::endl;
  // In 64 bits: removed_total * 100 overflows 32 bits beyond about 21 MB removed.
  const std::int64_t percentage =
      static_cast<std::int64_t>(removed_total) * 100 / loaded_length;
  out << percentage << "% compressed." << std::endl;
  return true;
}

void wait_for_enter(std::istream& in) { in.get(); }
