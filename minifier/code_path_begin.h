// Opens the namespace of the code path the including file is built for, and for AVX2 makes
// every function defined until code_path_end.h an AVX2 function. Only code between the two
// gets the wider instructions: the standard library's inline functions, included before,
// stay as they are, so no copy of them that needs AVX2 can stand in for the plain one.
// No include guard: every header of the stages opens and closes it around its own code.
#if defined(CSSQUEEZE_AVX2_PATH)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,popcnt,pclmul"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,popcnt,pclmul")
#endif
namespace avx2 {
#else
namespace baseline {
#endif
