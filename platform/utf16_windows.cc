#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/utf16_windows.h"

std::optional<std::string> to_utf8(std::wstring_view wide, lone_surrogates handling) {
  if (wide.size() > 0x7FFFFFFF) return std::nullopt;
  const int size = static_cast<int>(wide.size());
  const DWORD flags = handling == lone_surrogates::refused ? WC_ERR_INVALID_CHARS : 0;
  const int length = WideCharToMultiByte(CP_UTF8, flags, wide.data(), size, nullptr, 0,
                                         nullptr, nullptr);
  if (length <= 0) return std::nullopt;
  std::string narrow(static_cast<std::size_t>(length), '\0');
  if (WideCharToMultiByte(CP_UTF8, flags, wide.data(), size, narrow.data(), length, nullptr,
                          nullptr) != length) {
    return std::nullopt;
  }
  return narrow;
}
