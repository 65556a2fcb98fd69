// Register mode over the scripted registry: one row per outcome of the three registry
// calls. The transcript interleaves the console lines with a marker per registry call, so
// each row pins both the exact lines and the order of calls against them.
#include "shell_menu/register_context_menu.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include "shell_menu/registry.h"
#include "shell_menu/registry_fake.h"

namespace {

const std::wstring module_path = L"C:\\Program Files\\Outils CSS\\日本語 ☃\\cssqueeze.exe";
const std::wstring key_path = L"*\\shell\\Compress (css style)\\command";
const std::string from_now =
    "From now, you can use right click context-menu to access this tool.\n";
const std::string could_not_create =
    "Error: Could not create registry key *\\shell\\Compress (css style)\\command\n";

struct outcome_row {
  const char* name;
  std::int32_t open_result;
  std::int32_t create_result;
  std::int32_t set_value_result;
  const char* which_key;  // the handle written through and closed: "opened", "created", "null"
  std::string transcript;
};

const outcome_row outcome_rows[] = {
    {"found, written", 0, 0, 0, "opened",
     "[open]\n[module_path]\n[set_value]\n" + from_now + "[close]\n"},
    {"found, write refused", 0, 0, 13, "opened",
     "[open]\n[module_path]\n[set_value]\n[close]\nUnable to change registry.\nERROR: 13\n"},
    {"absent, created, written", 2, 0, 0, "created",
     "[open]\n[create]\nSuccess: Key created.\n[module_path]\n[set_value]\n" + from_now +
         "[close]\n"},
    {"no match, created, written", 1169, 0, 0, "created",
     "[open]\n[create]\nSuccess: Key created.\n[module_path]\n[set_value]\n" + from_now +
         "[close]\n"},
    {"absent, created, write refused", 2, 0, 1009, "created",
     "[open]\n[create]\nSuccess: Key created.\n[module_path]\n[set_value]\n[close]\n"
     "Unable to change registry.\nERROR: 1009\n"},
    {"absent, create denied", 2, 5, 6, "null",
     "[open]\n[create]\n" + could_not_create +
         "\tERROR: 5\nRun this program as adminstrator for once.\n"
         "[module_path]\n[set_value]\n[close]\nUnable to change registry.\nERROR: 6\n"},
    {"no match, create fails otherwise", 1169, 1314, 6, "null",
     "[open]\n[create]\n" + could_not_create +
         "\tERROR: 1314\n[module_path]\n[set_value]\n[close]\n"
         "Unable to change registry.\nERROR: 6\n"},
    {"absent, create fails with a negative code", 2, -2147024891, -1, "null",
     "[open]\n[create]\n" + could_not_create +
         "\tERROR: -2147024891\n[module_path]\n[set_value]\n[close]\n"
         "Unable to change registry.\nERROR: -1\n"},
    {"open denied", 5, 0, 0, "none", "[open]\nUnable to open registry key.\n"},
    {"open fails otherwise", 1010, 0, 0, "none", "[open]\nUnable to open registry key.\n"},
};

registry_key expected_key(const fake_registry_script& script, const std::string& which) {
  if (which == "opened") return script.opened_key;
  if (which == "created") return script.created_key;
  return null_key;
}

TEST(RegisterContextMenu, EveryOutcome) {
  const std::wstring command_text = L"\"" + module_path + L"\" %1";
  for (const outcome_row& row : outcome_rows) {
    SCOPED_TRACE(row.name);
    fake_registry_script script;
    script.open_result = row.open_result;
    script.create_result = row.create_result;
    script.set_value_result = row.set_value_result;
    script.module_path = module_path;
    std::ostringstream transcript;
    reset_fake_registry(script, &transcript);

    register_context_menu(transcript);

    EXPECT_EQ(transcript.str(), row.transcript);
    // The markers already fix which calls came and in what order; here, their arguments.
    for (const fake_registry_call& call : fake_registry_calls()) {
      switch (call.operation) {
        case registry_operation::open:
        case registry_operation::create:
          EXPECT_EQ(call.key, classes_root);
          EXPECT_EQ(call.text, key_path);
          EXPECT_EQ(call.access, 0xF003Fu);
          break;
        case registry_operation::set_value:
          EXPECT_EQ(call.key, expected_key(script, row.which_key));
          EXPECT_EQ(call.type, 1u);  // REG_SZ
          EXPECT_EQ(call.text, command_text);
          EXPECT_EQ(call.byte_size, command_text.size() * 2);
          break;
        case registry_operation::close:
          EXPECT_EQ(call.key, expected_key(script, row.which_key));
          break;
        case registry_operation::module_path:
          break;
      }
    }
  }
}

// Every code each call may answer, against every code of the others: the outcome depends
// only on whether a code is 0, 2 or 1169 (open) or 5 (create), and each code is printed as
// the signed number it is. A failed call's handle is never used, and never closed.
TEST(RegisterContextMenu, EveryCodeOfEveryOperation) {
  constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
  const std::int32_t open_codes[] = {0, 2, 1169, 5, 1, 3, 6, 1010, 1013, -1, -2, lowest, highest};
  const std::int32_t create_codes[] = {0, 5, 2, 1169, 1, 3, 87, 1314, -5, lowest, highest};
  const std::int32_t write_codes[] = {0, 5, 2, 1169, 6, 87, 1009, -1, lowest, highest};
  const std::wstring command_text = L"\"" + module_path + L"\" %1";
  for (const std::int32_t open_code : open_codes) {
    for (const std::int32_t create_code : create_codes) {
      for (const std::int32_t write_code : write_codes) {
        SCOPED_TRACE("open " + std::to_string(open_code) + ", create " +
                     std::to_string(create_code) + ", write " + std::to_string(write_code));
        fake_registry_script script;
        script.open_result = open_code;
        script.create_result = create_code;
        script.set_value_result = write_code;
        script.module_path = module_path;
        std::ostringstream transcript;
        reset_fake_registry(script, &transcript);

        register_context_menu(transcript);

        const bool found = open_code == 0;
        const bool absent = open_code == 2 || open_code == 1169;
        std::string expected = "[open]\n";
        registry_key key = null_key;
        if (!found && !absent) {
          expected += "Unable to open registry key.\n";
        } else {
          key = script.opened_key;
          if (absent) {
            expected += "[create]\n";
            if (create_code == 0) {
              expected += "Success: Key created.\n";
              key = script.created_key;
            } else {
              expected += could_not_create + "\tERROR: " + std::to_string(create_code) + "\n";
              if (create_code == 5) expected += "Run this program as adminstrator for once.\n";
              key = null_key;
            }
          }
          expected += "[module_path]\n[set_value]\n";
          if (write_code == 0) {
            expected += from_now + "[close]\n";
          } else {
            expected +=
                "[close]\nUnable to change registry.\nERROR: " + std::to_string(write_code) + "\n";
          }
        }
        ASSERT_EQ(transcript.str(), expected);
        for (const fake_registry_call& call : fake_registry_calls()) {
          if (call.operation == registry_operation::set_value) {
            EXPECT_EQ(call.key, key);
            EXPECT_EQ(call.text, command_text);
          }
          if (call.operation == registry_operation::close) {
            EXPECT_EQ(call.key, key);
          }
        }
      }
    }
  }
}

TEST(RegisterContextMenu, CommandHoldsModulePathWhole) {
  const std::wstring paths[] = {
      L"C:\\a.exe",
      L"C:\\Users\\Zoë\\Documents and Settings\\€ tools\\cssqueeze.exe",
      L"C:\\" + std::wstring(300, L'd') + L"\\cssqueeze.exe",  // past the classic 260 limit
  };
  for (const std::wstring& path : paths) {
    SCOPED_TRACE(path.size());
    fake_registry_script script;
    script.module_path = path;
    std::ostringstream transcript;
    reset_fake_registry(script, &transcript);

    register_context_menu(transcript);

    const std::wstring command_text = L"\"" + path + L"\" %1";
    bool wrote = false;
    for (const fake_registry_call& call : fake_registry_calls()) {
      if (call.operation != registry_operation::set_value) continue;
      wrote = true;
      EXPECT_EQ(call.text, command_text);
      EXPECT_EQ(call.byte_size, command_text.size() * 2);
    }
    EXPECT_TRUE(wrote);
  }
}

}  // namespace
