// What register mode needs of the place where the context-menu verb lives, in the tool's
// own terms: is the verb there, create it, write its command. registry_windows.cc keeps the
// verb in the Windows registry, registry_posix.cc as a GNOME Files script, registry_fake.cc
// as a test scripts it; the build links exactly one. Each reads its platform's own result
// numbers in one place and answers with a registry_result.
#ifndef SHELL_MENU_REGISTRY_H_
#define SHELL_MENU_REGISTRY_H_

#include <cstdint>
#include <string>
#include <string_view>

// The verb as the menu shows it: the name of its registry key on Windows, of the GNOME Files
// script on Linux. ASCII, so the console shows the same characters the registry gets.
constexpr std::string_view verb_name = "Compress (css style)";

enum class registry_status { done, absent, denied, failed };

// How an operation went, and the platform's own number for it (0 when done), which the
// console prints for some failures.
struct registry_result {
  registry_status status;
  std::int32_t code;
};

// The verb's key while it is open. Opaque: only the platform file that handed it out knows
// what it stands for. null_key holds no key.
using registry_key = std::uintptr_t;
constexpr registry_key null_key = 0;

// Opens the verb's key for writing. done: key holds it; absent: there is no such key;
// otherwise it could not be opened. key holds no key unless done.
registry_result open_verb_key(registry_key& key);

// Creates the verb's key and any missing parents, keeping one that exists, and opens it for
// writing. key holds no key unless done.
registry_result create_verb_key(registry_key& key);

// Writes command_text, whole, as the verb's command through key. Given null_key (after a
// failed create) it writes nothing and fails with the platform's number for a bad handle.
registry_result write_verb_command(registry_key key, const std::wstring& command_text);

// Closes key; null_key closes nothing. Nothing to report: the verb is written or not by now.
void close_verb_key(registry_key key);

// The full path of the running program's own file, whole however long it is (never cut at
// the classic 260-character limit). Empty if the platform cannot say.
std::wstring read_module_path();

#endif  // SHELL_MENU_REGISTRY_H_
