// The five registry operations the context-menu registration needs, in portable types, so
// that the registration logic compiles and is tested anywhere. registry_windows.cc calls
// the real registry, registry_posix.cc stands in for it on Linux, registry_fake.cc scripts
// it for tests; the build links exactly one of them.
#ifndef SHELL_MENU_REGISTRY_H_
#define SHELL_MENU_REGISTRY_H_

#include <cstdint>
#include <string>

// An open key, or one of the predefined roots. Opaque: only the implementation that handed
// it out knows what it stands for. null_key holds no key.
using registry_key = std::uintptr_t;
constexpr registry_key null_key = 0;
constexpr registry_key classes_root = 0x80000000;  // HKEY_CLASSES_ROOT's own value

constexpr std::uint32_t key_all_access = 0xF003F;  // KEY_ALL_ACCESS
constexpr std::uint32_t string_value_type = 1;     // REG_SZ

// The registry's own result numbers that the logic tells apart.
constexpr std::int32_t registry_success = 0;
constexpr std::int32_t registry_file_not_found = 2;  // ERROR_FILE_NOT_FOUND
constexpr std::int32_t registry_access_denied = 5;   // ERROR_ACCESS_DENIED
constexpr std::int32_t registry_no_match = 1169;     // ERROR_NO_MATCH

// Opens the existing key at path under root with the given access, like RegOpenKeyExW with
// options 0. On 0, key holds the open key; otherwise key is not to be used.
std::int32_t open_registry_key(registry_key root, const std::wstring& path, std::uint32_t access,
                               registry_key& key);

// Opens the key at path under root, creating it and any missing parents, like
// RegCreateKeyExW with no class, a lasting key and no security attributes. On 0, key holds
// the open key; otherwise key is not to be used.
std::int32_t create_registry_key(registry_key root, const std::wstring& path,
                                 std::uint32_t access, registry_key& key);

// Writes the key's default (unnamed) value, like RegSetValueExW: byte_size bytes of text at
// two bytes per character, no terminator counted. A null key is refused with a non-zero code.
std::int32_t set_default_value(registry_key key, std::uint32_t type, const std::wstring& text,
                               std::uint32_t byte_size);

// Closes key, like RegCloseKey; its result is of no use to anyone, so none is returned.
void close_registry_key(registry_key key);

// The full path of the running program's own file, whole however long it is (never cut at
// the classic 260-character limit). Empty if the platform cannot say.
std::wstring read_module_path();

#endif  // SHELL_MENU_REGISTRY_H_
