// Minifies one file in place with one of the model's older forms of the rules: by default
// the byte rules that deleted layout space next to all eight delimiters alike
// (literal_model's byte_only), with "face_value" the rules that read every byte for what it
// looks like (strings run on past line breaks, escaped bytes count as punctuation, '/' and
// '*' may close up). The browser check runs it on its hazard stylesheet to show that it
// notices what each breaks. Test use only: the model is quadratic.
#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>

#include "file_system/stylesheet_file.h"
#include "minifier/text_limits.h"
#include "tests/literal_model.h"

int main(int argc, char** argv) {
  const bool face_value = argc == 3 && std::string_view(argv[2]) == "face_value";
  if (argc != 2 && !face_value) {
    std::cerr << "usage: byte_only_minify FILE [face_value]\n";
    return 2;
  }
  std::string text;
  std::int32_t loaded_length = 0;
  if (load_stylesheet(argv[1], max_text_length, text, loaded_length) != read_result::ok) {
    std::cerr << "cannot load " << argv[1] << "\n";
    return 1;
  }
  const literal_model::pipeline_result result = literal_model::run_pipeline(
      text, face_value ? literal_model::rule_set::face_value : literal_model::rule_set::byte_only);
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
