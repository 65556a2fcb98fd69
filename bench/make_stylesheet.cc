// Writes a generated stylesheet of a given size to a file, for timing the whole tool (and
// other minifiers) on files far bigger than any real one:
//   make_stylesheet OUTPUT_PATH MEGABYTES [KIND] [SEED]
// KIND is typical (the default) or one of the other inputs the stage benchmarks time;
// make_stylesheet --list prints them all.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/stylesheet_generator.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--list") {
    for (const std::string_view name : stylesheet_generator::input_names) std::cout << name << "\n";
    return 0;
  }
  if (argc < 3) {
    std::cerr << "usage: make_stylesheet OUTPUT_PATH MEGABYTES [KIND] [SEED]\n"
                 "       make_stylesheet --list\n";
    return 2;
  }
  const unsigned long long megabytes = std::strtoull(argv[2], nullptr, 10);
  const std::string kind = argc > 3 ? argv[3] : "typical";
  const std::uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1;
  if (megabytes == 0) {
    std::cerr << "MEGABYTES must be a positive number\n";
    return 2;
  }
  const std::string text = stylesheet_generator::make_input(kind, megabytes * 1000000, seed);
  if (text.empty()) {
    std::cerr << "unknown KIND " << kind << " (make_stylesheet --list names them)\n";
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    std::cerr << "could not write " << argv[1] << "\n";
    return 1;
  }
  std::cout << "wrote " << text.size() << " bytes to " << argv[1] << "\n";
  return 0;
}
