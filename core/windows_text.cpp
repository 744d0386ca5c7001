#include "core/windows_text.h"

#include <windows.h>

#include <climits>

namespace orlo::windows {
namespace {

// The conversion functions count in int.
bool fitsInt(std::size_t length) {
  return length <= static_cast<std::size_t>(INT_MAX);
}

// The text in a code page, or nothing when the conversion fails.
std::optional<std::string> narrowed(UINT codePage, DWORD flags, std::wstring_view text) {
  if (text.empty()) {
    return std::string();
  }
  if (!fitsInt(text.size())) {
    return std::nullopt;
  }
  const int length = static_cast<int>(text.size());
  const int bytes =
      ::WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) {
    return std::nullopt;
  }
  std::string narrow(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(codePage, flags, text.data(), length, narrow.data(), bytes, nullptr,
                        nullptr);
  return narrow;
}

}  // namespace

std::optional<std::wstring> utf16FromUtf8(std::string_view text) {
  if (text.empty()) {
    return std::wstring();
  }
  if (!fitsInt(text.size())) {
    return std::nullopt;
  }
  const int length = static_cast<int>(text.size());
  const int units =
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (units <= 0) {
    return std::nullopt;
  }
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), units);
  return wide;
}

std::optional<std::string> utf8FromUtf16(std::wstring_view text) {
  return narrowed(CP_UTF8, WC_ERR_INVALID_CHARS, text);
}

std::string codePageFromUtf16(std::wstring_view text) {
  return narrowed(CP_ACP, WC_NO_BEST_FIT_CHARS, text).value_or(std::string());
}

std::string systemMessage(unsigned long error) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring words(buffer != nullptr ? buffer : L"", length);
  ::LocalFree(buffer);
  while (!words.empty() &&
         (words.back() == L'\r' || words.back() == L'\n' || words.back() == L' ')) {
    words.pop_back();
  }
  const std::string number = "error " + std::to_string(error);
  const std::optional<std::string> text = utf8FromUtf16(words);
  if (!text || text->empty()) {
    return "Windows " + number;
  }
  return *text + " (" + number + ")";
}

}  // namespace orlo::windows
