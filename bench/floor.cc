// The floor for the whole tool: the least any minifier of a file has to do. Streams the file
// through a 1 MiB buffer, collapses each run of layout space (TAB, LF, CR, SPACE) to its
// first byte and writes the result to a second file, in one pass with flat memory. It knows
// nothing of strings or comments; it only shows what reading, scanning and writing the
// bytes costs on this machine. With --fsync it also waits until the output is on the disk
// before it ends, as a tool that replaces a file safely must.
//   floor [--fsync] INPUT_PATH OUTPUT_PATH
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool is_layout_space(unsigned char byte) {
  return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ';
}

}  // namespace

int main(int argc, char** argv) {
  const bool sync = argc == 4 && std::strcmp(argv[1], "--fsync") == 0;
  if (sync) ++argv;
  if (argc != (sync ? 4 : 3)) {
    std::fprintf(stderr, "usage: floor [--fsync] INPUT_PATH OUTPUT_PATH\n");
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", argv[2]);
    std::fclose(in);
    return 1;
  }
  constexpr std::size_t buffer_size = std::size_t{1} << 20;
  std::vector<char> buffer(buffer_size);
  bool after_space = false;  // a run of layout space may go on across two reads
  bool ok = true;
  while (true) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer_size, in);
    if (got == 0) break;
    std::size_t write = 0;
    for (std::size_t read = 0; read < got; ++read) {
      const unsigned char byte = static_cast<unsigned char>(buffer[read]);
      const bool space = is_layout_space(byte);
      if (space && after_space) continue;
      after_space = space;
      buffer[write++] = buffer[read];
    }
    if (std::fwrite(buffer.data(), 1, write, out) != write) {
      ok = false;
      break;
    }
  }
  ok = ok && !std::ferror(in);
  if (sync) ok = std::fflush(out) == 0 && ::fsync(fileno(out)) == 0 && ok;
  std::fclose(in);
  ok = std::fclose(out) == 0 && ok;
  if (!ok) std::fprintf(stderr, "read or write failed\n");
  return ok ? 0 : 1;
}
