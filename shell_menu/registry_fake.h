// A scripted stand-in for the place the verb lives, for tests of the registration logic:
// each operation answers what the test chose and is recorded with its arguments, in order.
#ifndef SHELL_MENU_REGISTRY_FAKE_H_
#define SHELL_MENU_REGISTRY_FAKE_H_

#include <ostream>
#include <string>
#include <vector>

#include "shell_menu/registry.h"

enum class registry_operation { open, create, write, close, module_path };

struct fake_registry_script {
  registry_result open{registry_status::done, 0};
  registry_result create{registry_status::done, 0};
  registry_result write{registry_status::done, 0};
  std::wstring module_path;
  // The keys a successful open or create hands out.
  registry_key opened_key = 0x1001;
  registry_key created_key = 0x2002;
};

struct fake_registry_call {
  registry_operation operation;
  registry_key key = null_key;  // the key written through or closed
  std::wstring text{};          // the command written
};

// Starts a scripted session: clears the record. When transcript is not null, each call
// also writes one marker line there ("[open]", "[create]", "[write]", "[close]",
// "[module_path]"), so a test sees calls and console lines in one order.
void reset_fake_registry(const fake_registry_script& script, std::ostream* transcript);

// The calls made since the last reset, in order.
const std::vector<fake_registry_call>& fake_registry_calls();

#endif  // SHELL_MENU_REGISTRY_FAKE_H_
