// The tool with its text stages taken out: loads the stylesheet and saves it back through
// the tool's own load and save (a whole-file read into memory on 2 MiB pages, a new file
// beside it, its metadata, fsync, rename), with no text work between. Timed beside the tool,
// it shows how much of a run the stages are, and what no stage work can take away.
//   io_only PATH
#include <cstdint>
#include <cstdio>
#include <string>

#include "file_system/stylesheet_file.h"
#include "minifier/text_limits.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: io_only PATH\n");
    return 2;
  }
  std::string text;
  std::int32_t length = 0;
  if (load_stylesheet(argv[1], max_text_length, text, length) != read_result::ok) {
    std::fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }
  if (save_stylesheet(argv[1], text) != write_result::ok) {
    std::fprintf(stderr, "cannot save %s\n", argv[1]);
    return 1;
  }
  return 0;
}
