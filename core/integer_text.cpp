#include "core/integer_text.h"

#include <limits>

namespace orlo {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// Splits the longest run of leading digits off the text.
std::string_view takeDigits(std::string_view& text) {
  std::size_t count = 0;
  while (count < text.size() && isDigit(text[count])) {
    ++count;
  }
  const std::string_view digits = text.substr(0, count);
  text.remove_prefix(count);
  return digits;
}

// Whether the magnitude must round away from zero: above one half, or exactly one half with
// an odd integer part.
bool roundsUp(std::string_view fraction, std::int64_t integerPart) {
  if (fraction.empty() || fraction.front() < '5') {
    return false;
  }
  if (fraction.front() > '5') {
    return true;
  }
  for (char digit : fraction.substr(1)) {
    if (digit != '0') {
      return true;
    }
  }
  return integerPart % 2 != 0;
}

}  // namespace

std::optional<std::int16_t> textToInt16(std::string_view text) {
  text = trimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::string_view integerDigits = takeDigits(text);
  std::string_view fraction;
  if (!text.empty() && text.front() == '.') {
    text.remove_prefix(1);
    fraction = takeDigits(text);
  }
  if (!text.empty() || (integerDigits.empty() && fraction.empty())) {
    return std::nullopt;
  }

  while (!integerDigits.empty() && integerDigits.front() == '0') {
    integerDigits.remove_prefix(1);
  }
  // Six significant digits are already far outside the range, rounding or not.
  if (integerDigits.size() > 5) {
    return std::nullopt;
  }
  std::int64_t magnitude = 0;
  for (char digit : integerDigits) {
    magnitude = magnitude * 10 + (digit - '0');
  }
  if (roundsUp(fraction, magnitude)) {
    ++magnitude;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int16_t>(value);
}

}  // namespace orlo
