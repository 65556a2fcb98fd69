#include "minifier/code_path.h"

#include <cstdlib>
#include <string_view>

#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "minifier/path_stages.h"

code_path chosen_code_path() {
  static const code_path chosen = [] {
    const char* forced = std::getenv("CSSQUEEZE_CODE_PATH");
    if (forced != nullptr && std::string_view(forced) == "sse2") return code_path::baseline;
#if defined(CSSQUEEZE_HAS_AVX2_PATH)
#define CSSQUEEZE_SUPPORTED(name) &&__builtin_cpu_supports(#name)
    __builtin_cpu_init();
    if (true CSSQUEEZE_AVX2_FEATURES(CSSQUEEZE_SUPPORTED, CSSQUEEZE_SUPPORTED)) return code_path::avx2;
#endif
    return code_path::baseline;
  }();
  return chosen;
}

std::int32_t remove_comment_bytes(char* text, std::size_t& size, bool* ends_open) {
#if defined(CSSQUEEZE_HAS_AVX2_PATH)
  if (chosen_code_path() == code_path::avx2) {
    return avx2::remove_comment_bytes(text, size, ends_open);
  }
#endif
  return baseline::remove_comment_bytes(text, size, ends_open);
}

std::int32_t remove_comments(std::string& working_text, bool* ends_open) {
  std::size_t size = working_text.size();
  const std::int32_t count = remove_comment_bytes(working_text.data(), size, ends_open);
  working_text.resize(size);
  return count;
}

compaction_result compact_bytes(char* text, std::size_t& size) {
#if defined(CSSQUEEZE_HAS_AVX2_PATH)
  if (chosen_code_path() == code_path::avx2) return avx2::compact_bytes(text, size);
#endif
  return baseline::compact_bytes(text, size);
}

compaction_result compact_text(std::string& working_text) {
  std::size_t size = working_text.size();
  const compaction_result result = compact_bytes(working_text.data(), size);
  working_text.resize(size);
  return result;
}
