#pragma once

#include <string>
#include <string_view>

namespace orlo {

// A text as a message shows it: in double quotes, with line breaks, tabs and other control
// characters written as escapes (\n, \t, \x01) and, past 80 bytes, cut off at a whole
// character with "..." and the full length added.
std::string quotedForMessage(std::string_view text);

// A text from the system, such as a file path, as a message shows it whole and without quotes:
// control characters and bytes that are not valid UTF-8 are written as escapes (\n, \xE9), so
// that a name in another encoding shows what its bytes are.
std::string escapedForMessage(std::string_view text);

}  // namespace orlo
