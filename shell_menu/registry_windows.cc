// The registry operations on Windows: thin calls of the Win32 registry and module API.
// Results are the API's own error numbers, passed through unchanged.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "shell_menu/registry.h"

namespace {

HKEY to_hkey(registry_key key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

std::int32_t open_registry_key(registry_key root, const std::wstring& path, std::uint32_t access,
                               registry_key& key) {
  HKEY opened = nullptr;
  const LSTATUS result = RegOpenKeyExW(to_hkey(root), path.c_str(), 0, access, &opened);
  key = result == ERROR_SUCCESS ? reinterpret_cast<registry_key>(opened) : null_key;
  return static_cast<std::int32_t>(result);
}

std::int32_t create_registry_key(registry_key root, const std::wstring& path,
                                 std::uint32_t access, registry_key& key) {
  HKEY created = nullptr;
  const LSTATUS result = RegCreateKeyExW(to_hkey(root), path.c_str(), 0, nullptr,
                                         REG_OPTION_NON_VOLATILE, access, nullptr, &created,
                                         nullptr);
  key = result == ERROR_SUCCESS ? reinterpret_cast<registry_key>(created) : null_key;
  return static_cast<std::int32_t>(result);
}

std::int32_t set_default_value(registry_key key, std::uint32_t type, const std::wstring& text,
                               std::uint32_t byte_size) {
  return static_cast<std::int32_t>(RegSetValueExW(to_hkey(key), nullptr, 0, type,
                                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                                  byte_size));
}

void close_registry_key(registry_key key) { RegCloseKey(to_hkey(key)); }

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
