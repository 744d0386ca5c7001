// Reads arbitrary bytes as a settings file and sets one of its values. Reading never fails, so
// every other outcome is a finding: a crash, a file that changes when it is only read, a value
// that does not read back exactly as it was set, or another key that changes with it.
//
// Input: one byte that picks the key, one that gives the length of the value, the value, and
// the file.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "settings/ini_document.h"
#include "settings/settings_keys.h"

namespace {

constexpr std::string_view kSection = "Monitor";

void require(bool holds) {
  if (!holds) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto keys = orlo::settings_keys::all();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  if (input.size() < 2) {
    return 0;
  }
  const std::string& key = keys[static_cast<unsigned char>(input[0]) % keys.size()];
  const std::size_t valueLength =
      std::min<std::size_t>(static_cast<unsigned char>(input[1]), input.size() - 2);
  const std::string_view value = input.substr(2, valueLength);
  const std::string_view file = input.substr(2 + valueLength);

  orlo::ini::Document document(file);
  require(document.bytes() == file);
  std::array<std::optional<std::string>, orlo::settings_keys::kCount> before;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    before[i] = document.value(kSection, keys[i]);
  }

  document.setValue(kSection, key, value);
  const orlo::ini::Document reread(document.bytes());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == key) {
      require(document.value(kSection, key) == value);
      require(reread.value(kSection, key) == value);
    } else {
      require(reread.value(kSection, keys[i]) == before[i]);
    }
  }
  return 0;
}
