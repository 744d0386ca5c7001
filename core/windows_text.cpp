#include "core/windows_text.h"

#include <windows.h>

#include <climits>

namespace orlo::windows {
namespace {

// Runs one of the system's conversions, which count in int, first for the size and then for the
// text. Nothing when it fails.
template <typename Out, typename In, typename Convert>
std::optional<Out> converted(In text, Convert convert) {
  if (text.empty()) {
    return Out();
  }
  if (text.size() > static_cast<std::size_t>(INT_MAX)) {
    return std::nullopt;
  }
  const int length = static_cast<int>(text.size());
  const int size = convert(text.data(), length, nullptr, 0);
  if (size <= 0) {
    return std::nullopt;
  }
  Out out(static_cast<std::size_t>(size), typename Out::value_type());
  convert(text.data(), length, out.data(), size);
  return out;
}

// MultiByteToWideChar from UTF-8, with the flags. Without MB_ERR_INVALID_CHARS it puts U+FFFD
// where the bytes are not UTF-8.
auto widening(DWORD flags) {
  return [flags](const char* text, int length, wchar_t* out, int size) {
    return ::MultiByteToWideChar(CP_UTF8, flags, text, length, out, size);
  };
}

// WideCharToMultiByte into a code page, with the flags. Into UTF-8 without WC_ERR_INVALID_CHARS,
// it puts U+FFFD for each lone surrogate.
auto narrowing(UINT codePage, DWORD flags) {
  return [codePage, flags](const wchar_t* text, int length, char* out, int size) {
    return ::WideCharToMultiByte(codePage, flags, text, length, out, size, nullptr, nullptr);
  };
}

}  // namespace

std::optional<std::wstring> utf16FromUtf8(std::string_view text) {
  return converted<std::wstring>(text, widening(MB_ERR_INVALID_CHARS));
}

std::wstring utf16FromUtf8Replacing(std::string_view text) {
  return converted<std::wstring>(text, widening(0)).value_or(std::wstring());
}

std::optional<std::string> utf8FromUtf16(std::wstring_view text) {
  return converted<std::string>(text, narrowing(CP_UTF8, WC_ERR_INVALID_CHARS));
}

std::string utf8FromUtf16Replacing(std::wstring_view text) {
  return converted<std::string>(text, narrowing(CP_UTF8, 0)).value_or(std::string());
}

std::string codePageFromUtf16(std::wstring_view text) {
  return converted<std::string>(text, narrowing(CP_ACP, WC_NO_BEST_FIT_CHARS))
      .value_or(std::string());
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
