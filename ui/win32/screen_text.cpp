#include "ui/win32/screen_text.h"

#include <windows.h>

#include <optional>

#include "core/windows_text.h"

namespace orlo {

std::wstring screenText(std::string_view utf8) {
  if (std::optional<std::wstring> exact = windows::utf16FromUtf8(utf8)) {
    return std::move(*exact);
  }
  // Without MB_ERR_INVALID_CHARS the system puts U+FFFD for each byte that is not UTF-8.
  const int bytes = static_cast<int>(utf8.size());
  std::wstring wide(
      static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, nullptr, 0)),
      L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

std::string programText(std::wstring_view utf16) {
  if (std::optional<std::string> exact = windows::utf8FromUtf16(utf16)) {
    return std::move(*exact);
  }
  // Without WC_ERR_INVALID_CHARS the system puts U+FFFD for each lone surrogate.
  const int units = static_cast<int>(utf16.size());
  std::string utf8(static_cast<std::size_t>(::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), units,
                                                                  nullptr, 0, nullptr, nullptr)),
                   '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), units, utf8.data(), static_cast<int>(utf8.size()),
                        nullptr, nullptr);
  return utf8;
}

}  // namespace orlo
