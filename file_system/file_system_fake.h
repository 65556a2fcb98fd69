// Files kept in memory, for the driver's tests: each file answers what the test chose, so
// a whole run is checked with no disk at all, on every platform.
#ifndef FILE_SYSTEM_FILE_SYSTEM_FAKE_H_
#define FILE_SYSTEM_FILE_SYSTEM_FAKE_H_

#include <map>
#include <string>

#include "file_system/file_system.h"

struct fake_file {
  std::string bytes;
  read_result read = read_result::ok;     // anything else: reading fails so
  write_result write = write_result::ok;  // anything else: replacing fails so
  int writes = 0;                         // how often the contents were replaced
};

// The files by path, empty at the start of a test binary; a name missing here is missing.
// Reading hands the bytes over a few at a time, as a real file may.
std::map<std::string, fake_file>& fake_files();

// What platform_uses_crlf() answers: false unless a test says otherwise.
extern bool fake_platform_uses_crlf;

#endif  // FILE_SYSTEM_FILE_SYSTEM_FAKE_H_
