// Writes a generated typical stylesheet of a given size to a file, for timing the whole
// tool on a file far bigger than any real one:
//   make_stylesheet OUTPUT_PATH MEGABYTES [SEED]
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/stylesheet_generator.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: make_stylesheet OUTPUT_PATH MEGABYTES [SEED]\n";
    return 2;
  }
  const unsigned long long megabytes = std::strtoull(argv[2], nullptr, 10);
  const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
  if (megabytes == 0) {
    std::cerr << "MEGABYTES must be a positive number\n";
    return 2;
  }
  const std::string text = stylesheet_generator::make_typical(megabytes * 1000000, seed);
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
