#pragma once

#include <ostream>
#include <string>

namespace orlo::testing_support {

// A table case is shown by its name, in failure messages (pull PrintTo in with a
// using-declaration next to the case types) and in test names (caseName).
template <typename Case>
requires requires(const Case& c) {
  std::string(c.name);
}
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

inline constexpr auto caseName = [](const auto& testCase) {
  return std::string(testCase.param.name);
};

}  // namespace orlo::testing_support
