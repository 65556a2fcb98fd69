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
const std::string from_now =
    "From now, you can use right click context-menu to access this tool.\n";
const std::string could_not_create =
    "Error: Could not create registry key *\\shell\\Compress (css style)\\command\n";

constexpr registry_status done = registry_status::done;
constexpr registry_status absent = registry_status::absent;
constexpr registry_status denied = registry_status::denied;
constexpr registry_status failed = registry_status::failed;

struct outcome_row {
  const char* name;
  registry_result open;
  registry_result create;
  registry_result write;
  const char* which_key;  // the key written through and closed: "opened", "created", "null"
  std::string transcript;
};

const outcome_row outcome_rows[] = {
    {"found, written", {done, 0}, {done, 0}, {done, 0}, "opened",
     "[open]\n[module_path]\n[write]\n" + from_now + "[close]\n"},
    {"found, write refused", {done, 0}, {done, 0}, {denied, 13}, "opened",
     "[open]\n[module_path]\n[write]\n[close]\nUnable to change registry.\nERROR: 13\n"},
    {"absent, created, written", {absent, 2}, {done, 0}, {done, 0}, "created",
     "[open]\n[create]\nSuccess: Key created.\n[module_path]\n[write]\n" + from_now +
         "[close]\n"},
    {"absent, created, write fails", {absent, 1169}, {done, 0}, {failed, 1009}, "created",
     "[open]\n[create]\nSuccess: Key created.\n[module_path]\n[write]\n[close]\n"
     "Unable to change registry.\nERROR: 1009\n"},
    {"absent, create denied", {absent, 2}, {denied, 5}, {failed, 6}, "null",
     "[open]\n[create]\n" + could_not_create +
         "\tERROR: 5\nRun this program as adminstrator for once.\n"
         "[module_path]\n[write]\n[close]\nUnable to change registry.\nERROR: 6\n"},
    {"absent, create fails otherwise", {absent, 1169}, {failed, 1314}, {failed, 6}, "null",
     "[open]\n[create]\n" + could_not_create +
         "\tERROR: 1314\n[module_path]\n[write]\n[close]\n"
         "Unable to change registry.\nERROR: 6\n"},
    {"absent, create fails with a negative code", {absent, 2}, {failed, -2147024891},
     {failed, -1}, "null",
     "[open]\n[create]\n" + could_not_create +
         "\tERROR: -2147024891\n[module_path]\n[write]\n[close]\n"
         "Unable to change registry.\nERROR: -1\n"},
    {"open denied", {denied, 5}, {done, 0}, {done, 0}, "none",
     "[open]\nUnable to open registry key.\n"},
    {"open fails otherwise", {failed, 1010}, {done, 0}, {done, 0}, "none",
     "[open]\nUnable to open registry key.\n"},
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
    script.open = row.open;
    script.create = row.create;
    script.write = row.write;
    script.module_path = module_path;
    std::ostringstream transcript;
    reset_fake_registry(script, &transcript);

    register_context_menu(transcript);

    EXPECT_EQ(transcript.str(), row.transcript);
    // The markers already fix which calls came and in what order; here, their arguments.
    for (const fake_registry_call& call : fake_registry_calls()) {
      if (call.operation == registry_operation::write) {
        EXPECT_EQ(call.text, command_text);
      }
      if (call.operation == registry_operation::write ||
          call.operation == registry_operation::close) {
        EXPECT_EQ(call.key, expected_key(script, row.which_key));
      }
    }
  }
}

// Every result each call may answer, against every result of the others: the outcome
// depends only on the status (absent for the open, denied for the create), and each code is
// printed as the signed number it is, whatever its status. A failed call's key is never
// used, and never closed.
TEST(RegisterContextMenu, EveryResultOfEveryOperation) {
  constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
  const registry_result open_results[] = {{done, 0},      {absent, 2},     {absent, 1169},
                                          {denied, 5},    {failed, 2},     {failed, 1010},
                                          {failed, -1},   {failed, lowest}, {failed, highest}};
  const registry_result create_results[] = {{done, 0},     {denied, 5},     {denied, 1314},
                                            {failed, 5},   {absent, 2},     {failed, 87},
                                            {failed, -5},  {failed, lowest}, {failed, highest}};
  const registry_result write_results[] = {{done, 0},    {denied, 5},  {failed, 6},
                                           {absent, 2},  {failed, -1}, {failed, lowest},
                                           {failed, highest}};
  const std::wstring command_text = L"\"" + module_path + L"\" %1";
  for (const registry_result& open : open_results) {
    for (const registry_result& create : create_results) {
      for (const registry_result& write : write_results) {
        SCOPED_TRACE("open " + std::to_string(open.code) + ", create " +
                     std::to_string(create.code) + ", write " + std::to_string(write.code));
        fake_registry_script script;
        script.open = open;
        script.create = create;
        script.write = write;
        script.module_path = module_path;
        std::ostringstream transcript;
        reset_fake_registry(script, &transcript);

        register_context_menu(transcript);

        std::string expected = "[open]\n";
        registry_key key = null_key;
        if (open.status != done && open.status != absent) {
          expected += "Unable to open registry key.\n";
        } else {
          key = script.opened_key;
          if (open.status == absent) {
            expected += "[create]\n";
            if (create.status == done) {
              expected += "Success: Key created.\n";
              key = script.created_key;
            } else {
              expected += could_not_create + "\tERROR: " + std::to_string(create.code) + "\n";
              if (create.status == denied) {
                expected += "Run this program as adminstrator for once.\n";
              }
              key = null_key;
            }
          }
          expected += "[module_path]\n[write]\n";
          if (write.status == done) {
            expected += from_now + "[close]\n";
          } else {
            expected +=
                "[close]\nUnable to change registry.\nERROR: " + std::to_string(write.code) + "\n";
          }
        }
        ASSERT_EQ(transcript.str(), expected);
        for (const fake_registry_call& call : fake_registry_calls()) {
          if (call.operation == registry_operation::write) {
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

    bool wrote = false;
    for (const fake_registry_call& call : fake_registry_calls()) {
      if (call.operation != registry_operation::write) continue;
      wrote = true;
      EXPECT_EQ(call.text, L"\"" + path + L"\" %1");
    }
    EXPECT_TRUE(wrote);
  }
}

}  // namespace
