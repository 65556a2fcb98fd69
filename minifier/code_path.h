// Which copy of the text stages this process runs. Where CMake builds an AVX2 copy
// (CSSQUEEZE_HAS_AVX2_PATH), processors with AVX2 look at 32 bytes per instruction and pack
// the kept bytes of a block with a byte shuffle; every other processor takes the baseline
// copy. Both give the same bytes; the choice is made once per process.
#ifndef MINIFIER_CODE_PATH_H_
#define MINIFIER_CODE_PATH_H_

enum class code_path { baseline, avx2 };

// AVX2 (with the features minifier/path_stages.h lists) when this build has that copy and
// the processor runs it, unless the environment says CSSQUEEZE_CODE_PATH=sse2: the tests
// and the fuzz targets take both paths on one machine that way.
code_path chosen_code_path();

#endif  // MINIFIER_CODE_PATH_H_
