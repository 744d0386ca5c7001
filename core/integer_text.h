#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orlo {

// Converts text typed by a user (the refresh interval, a stored on-top value) to a 16-bit
// signed integer. Returns nothing when the text is not a number or its rounded value lies
// outside -32768..32767.
//
// Accepted, and nothing else:
//   [blanks] [+|-] digits [. [digits]] [blanks]
//   [blanks] [+|-] . digits [blanks]
// where blanks are ASCII spaces and tabs, digits are ASCII 0-9, and the decimal separator is
// always '.', whatever the locale. There is no exponent, no thousands separator, no hex and
// no other Unicode digit or space. Any number of digits may be given; a fractional part
// is rounded to the nearest integer with halves going to the even neighbour (2.5 gives 2,
// 3.5 gives 4, -2.5 gives -2), and the range is tested on the rounded value, so -32768.5
// converts to -32768 while 32767.5 fails.
std::optional<std::int16_t> textToInt16(std::string_view text);

}  // namespace orlo
