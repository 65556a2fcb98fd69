#include "minifier/file_system.h"
read_result read_whole_file(const std::string&, std::size_t, std::string&) { return read_result::cannot_open; }
write_result replace_file_contents(const std::string&, std::string_view) { return write_result::cannot_open; }
bool platform_uses_crlf() { return false; }
