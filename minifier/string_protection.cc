#include "minifier/string_protection.h"
bool is_escaped(std::string_view, std::size_t) { return false; }
std::int32_t extract_strings(std::string&, lifted_strings&) { return 0; }
bool restore_strings(std::string&, const lifted_strings&, std::int32_t) { return true; }
