#include "minifier/code_path.h"

#include <cstdlib>
#include <functional>
#include <string_view>

#include "minifier/comments.h"
#include "minifier/compact_text.h"
#include "minifier/path_stages.h"

code_path chosen_code_path() {
  static const code_path chosen = [] {
    const char* forced_name = std::getenv("CSSQUEEZE_CODE_PATH");
    const std::string_view forced = forced_name == nullptr ? "" : forced_name;
    if (forced == "sse2") return code_path::baseline;
#define CSSQUEEZE_SUPPORTED(name) &&__builtin_cpu_supports(#name)
#if defined(CSSQUEEZE_HAS_AVX2_PATH) || defined(CSSQUEEZE_HAS_SSSE3_PATH)
    __builtin_cpu_init();
#endif
#if defined(CSSQUEEZE_HAS_AVX2_PATH)
    if (forced != "ssse3" &&
        (true CSSQUEEZE_AVX2_FEATURES(CSSQUEEZE_SUPPORTED, CSSQUEEZE_SUPPORTED))) {
      return code_path::avx2;
    }
#endif
#if defined(CSSQUEEZE_HAS_SSSE3_PATH)
    if (true CSSQUEEZE_SSSE3_FEATURES(CSSQUEEZE_SUPPORTED, CSSQUEEZE_SUPPORTED)) {
      return code_path::ssse3;
    }
#endif
    return code_path::baseline;
  }();
  return chosen;
}

const char* code_path_name(code_path path) {
  switch (path) {
    case code_path::avx2: return "AVX2";
    case code_path::ssse3: return "SSSE3";
    case code_path::baseline: break;
  }
  return "baseline";
}

std::int32_t remove_comment_bytes(char* text, std::size_t& size, bool* ends_open) {
#if defined(CSSQUEEZE_HAS_AVX2_PATH)
  if (chosen_code_path() == code_path::avx2) {
    return avx2::remove_comment_bytes(text, size, ends_open);
  }
#endif
#if defined(CSSQUEEZE_HAS_SSSE3_PATH)
  if (chosen_code_path() == code_path::ssse3) {
    return ssse3::remove_comment_bytes(text, size, ends_open);
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

compaction_result compact_bytes(char* text, std::size_t& size, std::size_t step,
                                const std::function<void(std::size_t, std::size_t)>& finished) {
#if defined(CSSQUEEZE_HAS_AVX2_PATH)
  if (chosen_code_path() == code_path::avx2) return avx2::compact_bytes(text, size, step, finished);
#endif
#if defined(CSSQUEEZE_HAS_SSSE3_PATH)
  if (chosen_code_path() == code_path::ssse3) {
    return ssse3::compact_bytes(text, size, step, finished);
  }
#endif
  return baseline::compact_bytes(text, size, step, finished);
}

compaction_result compact_bytes(char* text, std::size_t& size) {
  return compact_bytes(text, size, size, {});
}

compaction_result compact_text(std::string& working_text) {
  std::size_t size = working_text.size();
  const compaction_result result = compact_bytes(working_text.data(), size);
  working_text.resize(size);
  return result;
}
