// The text stages are built twice on x86-64: once for every processor of the kind (SSE2),
// and once for processors with AVX2, which look at 32 bytes per instruction and pack the
// kept bytes of a block with a byte shuffle. Both give the same bytes; the choice is made
// once per process, from what the processor reports.
#ifndef MINIFIER_CODE_PATH_H_
#define MINIFIER_CODE_PATH_H_

#include <cstdint>
#include <string>

#include "minifier/compact_text.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__) && defined(__SSE2__)
#define CSSQUEEZE_HAS_AVX2_PATH 1
#else
#define CSSQUEEZE_HAS_AVX2_PATH 0
#endif

enum class code_path { baseline, avx2 };

// AVX2 (with BMI1, POPCNT and carry-less multiply) when this build has that path and the
// processor runs it, unless the environment says CSSQUEEZE_CODE_PATH=sse2: the tests and
// the fuzz targets take both paths on one machine that way.
code_path chosen_code_path();

// Each path's own stages; remove_comments() and compact_text() call the chosen one.
namespace baseline {
std::int32_t remove_comments(std::string& working_text, bool* ends_open);
compaction_result compact_text(std::string& working_text);
}  // namespace baseline
namespace avx2 {
std::int32_t remove_comments(std::string& working_text, bool* ends_open);
compaction_result compact_text(std::string& working_text);
}  // namespace avx2

#endif  // MINIFIER_CODE_PATH_H_
