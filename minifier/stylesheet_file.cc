#include "minifier/stylesheet_file.h"
bool load_stylesheet(const std::string&, std::string&, std::int32_t&, std::ostream&) { return false; }
void save_stylesheet(const std::string&, const std::string&, std::ostream&) {}
void to_working_text(std::string&, bool) {}
std::string to_file_text(const std::string& t) { return t; }
