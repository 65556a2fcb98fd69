#include "minifier/code_path.h"

#include <cstdlib>
#include <string_view>

#include "minifier/comments.h"

code_path chosen_code_path() {
  static const code_path chosen = [] {
    const char* forced = std::getenv("CSSQUEEZE_CODE_PATH");
    if (forced != nullptr && std::string_view(forced) == "sse2") return code_path::baseline;
#if CSSQUEEZE_HAS_AVX2_PATH
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
        __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("pclmul")) {
      return code_path::avx2;
    }
#endif
    return code_path::baseline;
  }();
  return chosen;
}

std::int32_t remove_comments(std::string& working_text, bool* ends_open) {
#if CSSQUEEZE_HAS_AVX2_PATH
  if (chosen_code_path() == code_path::avx2) return avx2::remove_comments(working_text, ends_open);
#endif
  return baseline::remove_comments(working_text, ends_open);
}

compaction_result compact_text(std::string& working_text) {
#if CSSQUEEZE_HAS_AVX2_PATH
  if (chosen_code_path() == code_path::avx2) return avx2::compact_text(working_text);
#endif
  return baseline::compact_text(working_text);
}
