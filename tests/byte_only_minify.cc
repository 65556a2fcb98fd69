// Minifies one file in place as the tool did when compaction deleted layout space next to
// all eight delimiters alike (literal_model's byte_only rules). The browser check runs it on
// its hazard stylesheet to show that it notices what those rules break. Test use only: the
// model is quadratic.
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "minifier/stylesheet_file.h"
#include "tests/literal_model.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: byte_only_minify FILE\n";
    return 2;
  }
  std::string text;
  std::int32_t loaded_length = 0;
  if (!load_stylesheet(argv[1], text, loaded_length, std::cerr)) return 1;
  const literal_model::pipeline_result result =
      literal_model::run_pipeline(text, literal_model::compaction_rules::byte_only);
  if (!result.restored) {
    std::cerr << "the strings could not be put back\n";
    return 1;
  }
  // Saving reports a failure only as a line of text.
  std::ostringstream failure;
  save_stylesheet(argv[1], result.final_text, failure);
  std::cerr << failure.str();
  return failure.str().empty() ? 0 : 1;
}
