// Every decision of register mode lives here, over the five operations of registry.h, so
// that each outcome can be driven by the fake registry in a test on any system.
#include "shell_menu/register_context_menu.h"

#include <cstdint>
#include <string>

#include "shell_menu/registry.h"

namespace {

// The key path is plain ASCII, so the console shows the same characters that the registry gets.
constexpr const char* key_path = "*\\shell\\Compress (css style)\\command";
constexpr const wchar_t* wide_key_path = L"*\\shell\\Compress (css style)\\command";

// The registry stores text two bytes per character, whatever wchar_t is here.
constexpr std::size_t registry_char_size = 2;

// Reports a failed create. The run goes on to the write anyway, which the registry then
// refuses with a code of its own, so the user sees both failures.
void report_create_failure(std::ostream& out, std::int32_t code) {
  out << "Error: Could not create registry key " << key_path << std::endl;
  out << "\tERROR: " << code << std::endl;
  if (code == registry_access_denied) {
    out << "Run this program as adminstrator for once." << std::endl;
  }
}

}  // namespace

void register_context_menu(std::ostream& out) {
  registry_key key = null_key;
  const std::int32_t opened = open_registry_key(classes_root, wide_key_path, key_all_access, key);
  if (opened != registry_success) {
    // A failed open promises nothing about the handle; this run must not use or close it.
    key = null_key;
    if (opened != registry_file_not_found && opened != registry_no_match) {
      out << "Unable to open registry key." << std::endl;
      return;
    }
    const std::int32_t created =
        create_registry_key(classes_root, wide_key_path, key_all_access, key);
    if (created == registry_success) {
      out << "Success: Key created." << std::endl;
    } else {
      key = null_key;
      report_create_failure(out, created);
    }
  }

  const std::wstring command_text = L"\"" + read_module_path() + L"\" %1";
  const auto byte_size = static_cast<std::uint32_t>(command_text.size() * registry_char_size);
  const std::int32_t written = set_default_value(key, string_value_type, command_text, byte_size);
  if (written != registry_success) {
    // The key is closed on both paths before the wait for Enter: before the failure's
    // message here, after the success message below.
    close_registry_key(key);
    out << "Unable to change registry.\nERROR: " << written << std::endl;
  } else {
    out << "From now, you can use right click context-menu to access this tool." << std::endl;
    close_registry_key(key);
  }
}
