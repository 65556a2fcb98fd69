// The real registry layer on Windows (or Wine): a whole key round trip in a private key of
// the current user, read back with the API itself, and the module path.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shell_menu/registry.h"

namespace {

const registry_key current_user = reinterpret_cast<registry_key>(HKEY_CURRENT_USER);

class RegistryWindows : public testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, parent_.c_str()); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, parent_.c_str()); }

  const std::wstring parent_ =
      L"Software\\cssqueeze-test-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring path_ = parent_ + L"\\*\\shell\\Compress (css style)\\command";
};

std::wstring read_default_value(const std::wstring& path, DWORD& type) {
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), nullptr, RRF_RT_ANY | RRF_NOEXPAND, &type,
                   nullptr, &size) != ERROR_SUCCESS) {
    return L"<missing>";
  }
  std::wstring text(size / sizeof(wchar_t), L'\0');
  RegGetValueW(HKEY_CURRENT_USER, path.c_str(), nullptr, RRF_RT_ANY | RRF_NOEXPAND, &type,
               text.data(), &size);
  text.resize(size / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

TEST_F(RegistryWindows, KeyRoundTrip) {
  registry_key key = null_key;
  EXPECT_EQ(open_registry_key(current_user, path_, key_all_access, key), 2);
  EXPECT_EQ(key, null_key);

  ASSERT_EQ(create_registry_key(current_user, path_, key_all_access, key), 0);
  ASSERT_NE(key, null_key);
  const std::wstring command = L"\"C:\\Program Files\\Zo\u00eb \u2603\\cssqueeze.exe\" %1";
  EXPECT_EQ(set_default_value(key, string_value_type, command,
                              static_cast<std::uint32_t>(command.size() * 2)),
            0);
  close_registry_key(key);

  DWORD type = 0;
  EXPECT_EQ(read_default_value(path_, type), command);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  key = null_key;
  EXPECT_EQ(open_registry_key(current_user, path_, key_all_access, key), 0);
  EXPECT_NE(key, null_key);
  close_registry_key(key);
}

TEST_F(RegistryWindows, NullKeyIsRefused) {
  const std::wstring command = L"\"C:\\cssqueeze.exe\" %1";
  EXPECT_NE(set_default_value(null_key, string_value_type, command,
                              static_cast<std::uint32_t>(command.size() * 2)),
            0);
}

TEST_F(RegistryWindows, ModulePathIsThisProgram) {
  const std::wstring path = read_module_path();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(path.substr(1, 2), L":\\");
  const std::wstring name = L"registry_platform_tests.exe";
  ASSERT_GE(path.size(), name.size());
  EXPECT_EQ(path.substr(path.size() - name.size()), name);
}

}  // namespace
