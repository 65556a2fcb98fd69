// A scripted stand-in for the registry, for tests of the registration logic: each
// operation answers what the test chose and is recorded with its arguments, in order.
#ifndef SHELL_MENU_REGISTRY_FAKE_H_
#define SHELL_MENU_REGISTRY_FAKE_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "shell_menu/registry.h"

enum class registry_operation { open, create, set_value, close, module_path };

struct fake_registry_script {
  std::int32_t open_result = 0;
  std::int32_t create_result = 0;
  std::int32_t set_value_result = 0;
  std::wstring module_path;
  // The handles a successful open or create hands out. A failed one writes failed_key into
  // its out argument, as a real registry may leave anything there.
  registry_key opened_key = 0x1001;
  registry_key created_key = 0x2002;
  registry_key failed_key = 0xBAD;
};

struct fake_registry_call {
  registry_operation operation;
  registry_key key = null_key;  // root for open and create, the handle for the others
  std::wstring text;            // key path for open and create, value text for set_value
  std::uint32_t access = 0;
  std::uint32_t type = 0;
  std::uint32_t byte_size = 0;
};

// Starts a scripted session: clears the record. When transcript is not null, each call
// also writes one marker line there ("[open]", "[create]", "[set_value]", "[close]",
// "[module_path]"), so a test sees calls and console lines in one order.
void reset_fake_registry(const fake_registry_script& script, std::ostream* transcript);

// The calls made since the last reset, in order.
const std::vector<fake_registry_call>& fake_registry_calls();

#endif  // SHELL_MENU_REGISTRY_FAKE_H_
