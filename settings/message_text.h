#pragma once

#include <string>
#include <string_view>

namespace orlo {

// A text as a message shows it: in double quotes, with line breaks, tabs and other control
// characters written as escapes (\n, \t, \x01) and, past 80 bytes, cut off at a whole
// character with "..." and the full length added.
std::string quotedForMessage(std::string_view text);

}  // namespace orlo
