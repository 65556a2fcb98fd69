// Minifies one file in place as the tool did when compaction deleted layout space next to
// all eight delimiters alike (literal_model's byte_only rules). The browser check runs it on
// its hazard stylesheet to show that it notices what those rules break. Test use only: the
// model is quadratic.
#include <cstdint>
#include <iostream>
#include <string>

#include "file_system/stylesheet_file.h"
#include "tests/literal_model.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: byte_only_minify FILE\n";
    return 2;
  }
  std::string text;
  std::int32_t loaded_length = 0;
  if (load_stylesheet(argv[1], text, loaded_length) != read_result::ok) {
    std::cerr << "cannot load " << argv[1] << "\n";
    return 1;
  }
  const literal_model::pipeline_result result =
      literal_model::run_pipeline(text, literal_model::rule_set::byte_only);
  if (!result.restored) {
    std::cerr << "the strings could not be put back\n";
    return 1;
  }
  if (save_stylesheet(argv[1], result.final_text) != write_result::ok) {
    std::cerr << "cannot save " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
