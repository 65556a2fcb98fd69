// The verb in the real registry on Windows (or Wine), with HKEY_CLASSES_ROOT redirected for
// this process to a private key of the current user, so that the machine's own verb is never
// touched: a whole round trip read back with the API itself, and the module path.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "shell_menu/registry.h"

namespace {

const std::wstring command_path = L"*\\shell\\Compress (css style)\\command";

class RegistryWindows : public testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, classes_path_.c_str());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, classes_path_.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &classes_, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_), ERROR_SUCCESS);
  }
  void TearDown() override {
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegCloseKey(classes_);
    RegDeleteTreeW(HKEY_CURRENT_USER, classes_path_.c_str());
  }

  // The command value as the registry holds it, its type in type.
  std::wstring read_command(DWORD& type) const {
    DWORD size = 0;
    if (RegGetValueW(classes_, command_path.c_str(), nullptr, RRF_RT_ANY | RRF_NOEXPAND, &type,
                     nullptr, &size) != ERROR_SUCCESS) {
      return L"<missing>";
    }
    std::wstring text(size / sizeof(wchar_t), L'\0');
    RegGetValueW(classes_, command_path.c_str(), nullptr, RRF_RT_ANY | RRF_NOEXPAND, &type,
                 text.data(), &size);
    text.resize(size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
  }

  const std::wstring classes_path_ =
      L"Software\\cssqueeze-test-" + std::to_wstring(GetCurrentProcessId());
  HKEY classes_ = nullptr;
};

void expect_result(const registry_result& result, registry_status status, std::int32_t code) {
  EXPECT_EQ(result.status, status);
  EXPECT_EQ(result.code, code);
}

TEST_F(RegistryWindows, KeyRoundTrip) {
  registry_key key = null_key;
  expect_result(open_verb_key(key), registry_status::absent, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, null_key);

  expect_result(create_verb_key(key), registry_status::done, 0);
  ASSERT_NE(key, null_key);
  const std::wstring command = L"\"C:\\Program Files\\Zo\u00eb \u2603\\cssqueeze.exe\" %1";
  expect_result(write_verb_command(key, command), registry_status::done, 0);
  close_verb_key(key);

  DWORD type = 0;
  EXPECT_EQ(read_command(type), command);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  key = null_key;
  expect_result(open_verb_key(key), registry_status::done, 0);
  EXPECT_NE(key, null_key);
  close_verb_key(key);
}

TEST_F(RegistryWindows, NullKeyIsRefusedWithTheRegistrysOwnNumber) {
  expect_result(write_verb_command(null_key, L"\"C:\\cssqueeze.exe\" %1"),
                registry_status::failed, ERROR_INVALID_HANDLE);
  close_verb_key(null_key);
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
