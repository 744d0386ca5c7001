// Feeds arbitrary text to the text-to-integer conversion and checks each result against an
// independent reading of the same text with strtod.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/integer_text.h"

namespace {

bool isPlainNumber(std::string_view text) {
  std::size_t digits = 0;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c != '.' && c != '+' && c != '-' && c != ' ' && c != '\t') {
      return false;
    }
  }
  // Up to 15 significant digits a double holds the text exactly enough to round it the same way.
  return digits > 0 && digits <= 15;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto converted = orlo::textToInt16(text);
  if (!converted || !isPlainNumber(text)) {
    return 0;
  }
  char* end = nullptr;
  const double reference = std::strtod(text.c_str(), &end);
  const double rounded = std::nearbyint(reference);  // the default mode rounds halves to even
  if (rounded != static_cast<double>(*converted)) {
    std::abort();
  }
  return 0;
}
