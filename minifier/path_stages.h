// The text stages as each code path builds them. On x86-64 CMake builds the stage sources
// twice: once for every processor of the kind (SSE2), and once more with
// CSSQUEEZE_AVX2_PATH for processors with the features listed here. Every file of the
// stages puts its code in the namespace of the copy being built, CSSQUEEZE_CODE_PATH, so
// the two copies of an inline function never stand in for each other.
#ifndef MINIFIER_PATH_STAGES_H_
#define MINIFIER_PATH_STAGES_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "minifier/compact_text.h"

#if defined(CSSQUEEZE_AVX2_PATH)
#define CSSQUEEZE_CODE_PATH avx2
#else
#define CSSQUEEZE_CODE_PATH baseline
#endif

// What the AVX2 copy is built for, and what the processor must report before it is taken:
// each feature as first(name) or next(name), so that one list can be spelled as a target
// string or as run-time checks.
#define CSSQUEEZE_AVX2_FEATURES(first, next) first(avx2) next(bmi) next(popcnt) next(pclmul)

namespace baseline {
std::int32_t remove_comment_bytes(char* text, std::size_t& size, bool* ends_open);
compaction_result compact_bytes(char* text, std::size_t& size);
}  // namespace baseline
namespace avx2 {
std::int32_t remove_comment_bytes(char* text, std::size_t& size, bool* ends_open);
compaction_result compact_bytes(char* text, std::size_t& size);
}  // namespace avx2

#endif  // MINIFIER_PATH_STAGES_H_
