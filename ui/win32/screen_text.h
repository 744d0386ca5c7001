#pragma once

// Text between the window, which keeps UTF-8, and the system's controls and message boxes, which
// take UTF-16. Windows only.

#include <string>
#include <string_view>

namespace orlo {

// The UTF-16 form of UTF-8 text, exact where the text is valid UTF-8; a byte that is not becomes
// U+FFFD, so that whatever the program holds can be shown.
std::wstring screenText(std::string_view utf8);

// The UTF-8 form of a control's UTF-16 text, exact where it is valid UTF-16; a surrogate without
// its partner becomes U+FFFD.
std::string programText(std::wstring_view utf16);

}  // namespace orlo
