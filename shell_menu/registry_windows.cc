// The verb in the Windows registry: thin calls of the Win32 registry and module API. The
// registry's own result numbers go back with each result, unchanged, for the console.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "shell_menu/registry.h"

namespace {

// The one place where the registry's numbers become the tool's results.
registry_result result_of(LSTATUS code) {
  switch (code) {
    case ERROR_SUCCESS:
      return {registry_status::done, 0};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_NO_MATCH:
      return {registry_status::absent, static_cast<std::int32_t>(code)};
    case ERROR_ACCESS_DENIED:
      return {registry_status::denied, static_cast<std::int32_t>(code)};
    default:
      return {registry_status::failed, static_cast<std::int32_t>(code)};
  }
}

// The key below HKEY_CLASSES_ROOT whose default value holds the verb's command: "*" is every
// file type. The name is ASCII, so widening each byte gives the same characters.
const std::wstring wide_key_path =
    L"*\\shell\\" + std::wstring(verb_name.begin(), verb_name.end()) + L"\\command";

HKEY to_hkey(registry_key key) { return reinterpret_cast<HKEY>(key); }

registry_key handed_out(LSTATUS code, HKEY key) {
  return code == ERROR_SUCCESS ? reinterpret_cast<registry_key>(key) : null_key;
}

}  // namespace

// Opened with every access, as the create is, so that the command can be written through it.
registry_result open_verb_key(registry_key& key) {
  HKEY opened = nullptr;
  const LSTATUS code =
      RegOpenKeyExW(HKEY_CLASSES_ROOT, wide_key_path.c_str(), 0, KEY_ALL_ACCESS, &opened);
  key = handed_out(code, opened);
  return result_of(code);
}

registry_result create_verb_key(registry_key& key) {
  HKEY created = nullptr;
  const LSTATUS code = RegCreateKeyExW(HKEY_CLASSES_ROOT, wide_key_path.c_str(), 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                       &created, nullptr);
  key = handed_out(code, created);
  return result_of(code);
}

// A null key goes to the registry as it is: the number it refuses it with is what the user
// sees.
registry_result write_verb_command(registry_key key, const std::wstring& command_text) {
  // Two bytes per character, the terminating null not counted.
  const auto byte_size = static_cast<DWORD>(command_text.size() * sizeof(wchar_t));
  return result_of(RegSetValueExW(to_hkey(key), nullptr, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(command_text.c_str()),
                                  byte_size));
}

// A null key is refused quietly, which closes nothing.
void close_verb_key(registry_key key) { RegCloseKey(to_hkey(key)); }

std::wstring read_module_path() {
  // GetModuleFileNameW cuts a path that does not fit and says so only by filling the whole
  // buffer; a cut path would register a command that starts nothing, so grow until it fits.
  // Paths end at 32767 characters, which bounds the loop.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() > 32768) return {};
    path.resize(path.size() * 2);
  }
}
