// The verb's place as a test scripts it: answers from fake_registry_script, records every
// call. Markers go into the test's transcript so that the order of calls against printed
// lines is checked along with the lines themselves.
#include "shell_menu/registry_fake.h"

namespace {

fake_registry_script current_script;
std::ostream* current_transcript = nullptr;
std::vector<fake_registry_call> recorded_calls;

void record(const fake_registry_call& call, const char* marker) {
  recorded_calls.push_back(call);
  if (current_transcript != nullptr) *current_transcript << marker << '\n';
}

// Hands out the key as the platform files do: only when the operation is done.
registry_result answer(const registry_result& result, registry_key handed_out,
                       registry_key& key) {
  key = result.status == registry_status::done ? handed_out : null_key;
  return result;
}

}  // namespace

void reset_fake_registry(const fake_registry_script& script, std::ostream* transcript) {
  current_script = script;
  current_transcript = transcript;
  recorded_calls.clear();
}

const std::vector<fake_registry_call>& fake_registry_calls() { return recorded_calls; }

registry_result open_verb_key(registry_key& key) {
  record({.operation = registry_operation::open}, "[open]");
  return answer(current_script.open, current_script.opened_key, key);
}

registry_result create_verb_key(registry_key& key) {
  record({.operation = registry_operation::create}, "[create]");
  return answer(current_script.create, current_script.created_key, key);
}

registry_result write_verb_command(registry_key key, const std::wstring& command_text) {
  record({.operation = registry_operation::write, .key = key, .text = command_text}, "[write]");
  return current_script.write;
}

void close_verb_key(registry_key key) {
  record({.operation = registry_operation::close, .key = key}, "[close]");
}

std::wstring read_module_path() {
  record({.operation = registry_operation::module_path}, "[module_path]");
  return current_script.module_path;
}
