// The registry as a test scripts it: answers from fake_registry_script, records every call.
// Markers go into the test's transcript so that the order of calls against printed lines
// is checked along with the lines themselves.
#include "shell_menu/registry_fake.h"

namespace {

fake_registry_script current_script;
std::ostream* current_transcript = nullptr;
std::vector<fake_registry_call> recorded_calls;

void record(const fake_registry_call& call, const char* marker) {
  recorded_calls.push_back(call);
  if (current_transcript != nullptr) *current_transcript << marker << '\n';
}

}  // namespace

void reset_fake_registry(const fake_registry_script& script, std::ostream* transcript) {
  current_script = script;
  current_transcript = transcript;
  recorded_calls.clear();
}

const std::vector<fake_registry_call>& fake_registry_calls() { return recorded_calls; }

std::int32_t open_registry_key(registry_key root, const std::wstring& path, std::uint32_t access,
                               registry_key& key) {
  record({.operation = registry_operation::open, .key = root, .text = path, .access = access},
         "[open]");
  key = current_script.open_result == 0 ? current_script.opened_key : current_script.failed_key;
  return current_script.open_result;
}

std::int32_t create_registry_key(registry_key root, const std::wstring& path,
                                 std::uint32_t access, registry_key& key) {
  record({.operation = registry_operation::create, .key = root, .text = path, .access = access},
         "[create]");
  key =
      current_script.create_result == 0 ? current_script.created_key : current_script.failed_key;
  return current_script.create_result;
}

std::int32_t set_default_value(registry_key key, std::uint32_t type, const std::wstring& text,
                               std::uint32_t byte_size) {
  record({.operation = registry_operation::set_value,
          .key = key,
          .text = text,
          .type = type,
          .byte_size = byte_size},
         "[set_value]");
  return current_script.set_value_result;
}

void close_registry_key(registry_key key) {
  record({.operation = registry_operation::close, .key = key, .text = {}}, "[close]");
}

std::wstring read_module_path() {
  record({.operation = registry_operation::module_path, .key = null_key, .text = {}},
         "[module_path]");
  return current_script.module_path;
}
