// Where this copy of the stages is built for AVX2 or SSSE3, makes every function defined
// until code_path_end.h a function for those processors. Only code between the two gets the
// newer instructions: the standard library's inline functions, included before, stay as
// they are, so no copy of them that needs the newer processor can stand in for the plain
// one. No include guard: every file of the stages switches it on and off around its own
// code.
#if defined(CSSQUEEZE_AVX2_PATH) || defined(CSSQUEEZE_SSSE3_PATH)
#include "minifier/path_stages.h"
#define CSSQUEEZE_FEATURE_NAMED(name) #name
#define CSSQUEEZE_FEATURE_JOINED(name) "," #name
#define CSSQUEEZE_FEATURE_LISTED(name) , #name
#define CSSQUEEZE_PRAGMA(...) _Pragma(#__VA_ARGS__)
#define CSSQUEEZE_EXPANDED_PRAGMA(...) CSSQUEEZE_PRAGMA(__VA_ARGS__)
#if defined(__clang__)
// One target string, "avx2,bmi,...".
#pragma clang attribute push(__attribute__((target(CSSQUEEZE_PATH_FEATURES(CSSQUEEZE_FEATURE_NAMED, CSSQUEEZE_FEATURE_JOINED)))), apply_to = function)
#else
// GCC expands no macro in the pragma itself, and takes the features as a list of strings.
#pragma GCC push_options
CSSQUEEZE_EXPANDED_PRAGMA(GCC target(CSSQUEEZE_PATH_FEATURES(CSSQUEEZE_FEATURE_NAMED, CSSQUEEZE_FEATURE_LISTED)))
#endif
#endif
