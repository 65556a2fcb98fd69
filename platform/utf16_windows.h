// The Windows API's UTF-16 text as UTF-8, the code page the executable runs with (its
// manifest says so), for both layers that meet such text: the raw command line and the
// names of files the tool makes.
#ifndef PLATFORM_UTF16_WINDOWS_H_
#define PLATFORM_UTF16_WINDOWS_H_

#include <optional>
#include <string>
#include <string_view>

// What becomes of a lone surrogate, which no UTF-8 spells: a path that must lead back to
// the same file is refused (nothing comes back), a name that is only shown gets U+FFFD.
enum class lone_surrogates { refused, replaced };

std::optional<std::string> to_utf8(std::wstring_view wide, lone_surrogates handling);

#endif  // PLATFORM_UTF16_WINDOWS_H_
