// The text stages as each code path builds them. On x86-64 CMake builds the stage sources
// three times: once for every processor of the kind (SSE2), and once more each with
// CSSQUEEZE_AVX2_PATH and CSSQUEEZE_SSSE3_PATH for processors with the features listed
// here. Every file of the stages puts its code in the namespace of the copy being built,
// CSSQUEEZE_CODE_PATH, so two copies of an inline function never stand in for each other.
#ifndef MINIFIER_PATH_STAGES_H_
#define MINIFIER_PATH_STAGES_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "minifier/compact_text.h"

#if defined(CSSQUEEZE_AVX2_PATH)
#define CSSQUEEZE_CODE_PATH avx2
#elif defined(CSSQUEEZE_SSSE3_PATH)
#define CSSQUEEZE_CODE_PATH ssse3
#else
#define CSSQUEEZE_CODE_PATH baseline
#endif

// What the AVX2 and SSSE3 copies are built for, and what the processor must report before
// one is taken: each feature as first(name) or next(name), so that one list can be spelled
// as a target string or as run-time checks. The SSSE3 copy is for the processors of the
// ten years before AVX2 and the small cores without it: the byte shuffle on 16 bytes.
#define CSSQUEEZE_AVX2_FEATURES(first, next) first(avx2) next(bmi) next(popcnt) next(pclmul)
#define CSSQUEEZE_SSSE3_FEATURES(first, next) first(ssse3) next(popcnt) next(pclmul)
#if defined(CSSQUEEZE_AVX2_PATH)
#define CSSQUEEZE_PATH_FEATURES CSSQUEEZE_AVX2_FEATURES
#elif defined(CSSQUEEZE_SSSE3_PATH)
#define CSSQUEEZE_PATH_FEATURES CSSQUEEZE_SSSE3_FEATURES
#endif

namespace baseline {
std::int32_t remove_comment_bytes(char* text, std::size_t& size, bool* ends_open);
compaction_result compact_bytes(char* text, std::size_t& size, std::size_t step,
                                const std::function<void(std::size_t, std::size_t)>& finished);
}  // namespace baseline
namespace ssse3 {
std::int32_t remove_comment_bytes(char* text, std::size_t& size, bool* ends_open);
compaction_result compact_bytes(char* text, std::size_t& size, std::size_t step,
                                const std::function<void(std::size_t, std::size_t)>& finished);
}  // namespace ssse3
namespace avx2 {
std::int32_t remove_comment_bytes(char* text, std::size_t& size, bool* ends_open);
compaction_result compact_bytes(char* text, std::size_t& size, std::size_t step,
                                const std::function<void(std::size_t, std::size_t)>& finished);
}  // namespace avx2

#endif  // MINIFIER_PATH_STAGES_H_
