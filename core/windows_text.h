#pragma once

// Text between the program, which keeps UTF-8, and the Windows API: UTF-16, the system's 8-bit
// code page, and the system's own words for an error number. Windows only.

#include <optional>
#include <string>
#include <string_view>

namespace orlo::windows {

// The UTF-16 form of UTF-8 text, or nothing when the bytes are not valid UTF-8 (a stray byte,
// a cut-off sequence, an overlong form or an encoded surrogate). Nothing is ever replaced.
std::optional<std::wstring> utf16FromUtf8(std::string_view text);

// The UTF-16 form of UTF-8 text, exact where it is valid UTF-8; what is not becomes U+FFFD, so
// that text from anywhere can still be shown.
std::wstring utf16FromUtf8Replacing(std::string_view text);

// The UTF-8 form of UTF-16 text, or nothing when it is not valid UTF-16 (a surrogate without its
// partner). Nothing is ever replaced.
std::optional<std::string> utf8FromUtf16(std::wstring_view text);

// The UTF-8 form of UTF-16 text, exact where it is valid UTF-16; a surrogate without its partner
// becomes U+FFFD.
std::string utf8FromUtf16Replacing(std::wstring_view text);

// The text in the system's 8-bit code page. A character the code page does not have becomes '?',
// never a look-alike: a fullwidth digit does not become a digit.
std::string codePageFromUtf16(std::wstring_view text);

// The system's message for a Win32 error number, in UTF-8 and without its line break, followed
// by the number: "Access is denied. (error 5)"; "Windows error N" when the system has no words.
std::string systemMessage(unsigned long error);

}  // namespace orlo::windows
