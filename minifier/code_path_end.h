// Switches off what code_path_begin.h switched on.
#if defined(CSSQUEEZE_AVX2_PATH) || defined(CSSQUEEZE_SSSE3_PATH)
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
