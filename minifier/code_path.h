// Which copy of the text stages this process runs. Where CMake builds the wider copies
// (CSSQUEEZE_HAS_AVX2_PATH, CSSQUEEZE_HAS_SSSE3_PATH), processors with AVX2 look at 32 bytes
// per instruction, those with SSSE3 at 16, and both classify a block and pack its kept
// bytes with a byte shuffle; every other processor takes the baseline copy. All give the
// same bytes; the choice is made once per process.
#ifndef MINIFIER_CODE_PATH_H_
#define MINIFIER_CODE_PATH_H_

enum class code_path { baseline, ssse3, avx2 };

// The widest copy this build has and the processor runs (each with the features
// minifier/path_stages.h lists). The environment can narrow the choice, so that the tests
// and the fuzz targets take every path on one machine: CSSQUEEZE_CODE_PATH=sse2 forces the
// baseline, =ssse3 the SSSE3 copy where the processor runs it.
code_path chosen_code_path();

// "AVX2", "SSSE3" or "baseline".
const char* code_path_name(code_path path);

#endif  // MINIFIER_CODE_PATH_H_
