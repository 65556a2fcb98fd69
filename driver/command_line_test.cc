// The program-name split of a Windows command line, on the command lines the shell and a
// console make: what stays is the stylesheet's path exactly as it was passed.
#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CommandLine, TextAfterProgramName) {
  const struct {
    std::wstring command_line;
    std::wstring rest;
  } rows[] = {
      // The context-menu command with an unquoted path that holds spaces.
      {LR"("C:\Program Files\cssqueeze\cssqueeze.exe" C:\my styles\site one.css)",
       LR"(C:\my styles\site one.css)"},
      {LR"("C:\x.exe" C:\css\two  spaces.css)", LR"(C:\css\two  spaces.css)"},
      {L"\"C:\\x.exe\" \t  C:\\a b.css  ", L"C:\\a b.css  "},
      {L"\"C:\\x.exe\" \u65E5\u672C \u2603.css", L"\u65E5\u672C \u2603.css"},
      // Typed in a console: an unquoted program name ends at the first space or tab.
      {L"cssqueeze.exe a.css b.css", L"a.css b.css"},
      {L"cssqueeze.exe\ta.css", L"a.css"},
      {LR"(C:\Program Files\x.exe a.css)", LR"(Files\x.exe a.css)"},
      // A quoted name ends at its closing quote even when nothing separates what follows.
      {LR"("C:\x.exe"a b.css)", L"a b.css"},
      // Nothing after the name.
      {L"", L""},
      {L"cssqueeze.exe", L""},
      {L"cssqueeze.exe   ", L""},
      {LR"("C:\x.exe")", L""},
      {LR"("C:\x.exe a.css)", L""},
      {L" a.css", L"a.css"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.command_line));
    EXPECT_EQ(text_after_program_name(row.command_line), row.rest);
  }
}

}  // namespace
