// What the fuzz targets do when an invariant breaks: say which one, show the text involved
// escaped byte by byte, and abort so that libFuzzer keeps the input that did it.
#ifndef FUZZ_FUZZ_CHECK_H_
#define FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzz_check {

// Prints label and the bytes as a C string literal, non-printable bytes as \xNN.
inline void print_escaped(const char* label, std::string_view bytes) {
  std::fprintf(stderr, "  %s (%zu bytes): \"", label, bytes.size());
  for (const char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      std::fprintf(stderr, "\\%c", byte);
    } else if (byte >= 0x20 && byte < 0x7F) {
      std::fputc(byte, stderr);
    } else {
      std::fprintf(stderr, "\\x%02X", byte);
    }
  }
  std::fputs("\"\n", stderr);
}

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "INVARIANT BROKEN: %s\n", what);
  std::abort();
}

}  // namespace fuzz_check

#endif  // FUZZ_FUZZ_CHECK_H_
