// Closes what code_path_begin.h opened.
}  // namespace avx2 or baseline
#if defined(CSSQUEEZE_AVX2_PATH)
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
