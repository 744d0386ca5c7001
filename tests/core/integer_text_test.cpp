#include "core/integer_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace orlo {
namespace {

struct ConversionCase {
  std::string text;
  std::optional<std::int16_t> expected;
};

void PrintTo(const ConversionCase& c, std::ostream* out) {
  *out << '"' << (c.text.size() > 40 ? c.text.substr(0, 40) + "..." : c.text) << '"';
}

class TextToInt16 : public testing::TestWithParam<ConversionCase> {};

TEST_P(TextToInt16, ConvertsOrFails) {
  EXPECT_EQ(textToInt16(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(RoundingHalfToEven, TextToInt16,
                         testing::Values(ConversionCase{"2.5", 2}, ConversionCase{"3.5", 4},
                                         ConversionCase{"0.5", 0}, ConversionCase{"1.5", 2},
                                         ConversionCase{"-2.5", -2}, ConversionCase{"-3.5", -4},
                                         ConversionCase{"2.50000000000000000001", 3},
                                         ConversionCase{"2.4999999999999999999", 2},
                                         ConversionCase{"7.6", 8}, ConversionCase{"-0.4", 0},
                                         ConversionCase{".5", 0}, ConversionCase{"5.", 5}));

INSTANTIATE_TEST_SUITE_P(
    Range, TextToInt16,
    testing::Values(ConversionCase{"32767", 32767}, ConversionCase{"32767.4", 32767},
                    ConversionCase{"32767.5", std::nullopt}, ConversionCase{"32768", std::nullopt},
                    ConversionCase{"-32768", -32768}, ConversionCase{"-32768.5", -32768},
                    ConversionCase{"-32768.6", std::nullopt},
                    ConversionCase{"-32769", std::nullopt}, ConversionCase{"546", 546},
                    ConversionCase{"547", 547}, ConversionCase{"-546", -546},
                    ConversionCase{"-547", -547}, ConversionCase{"100000", std::nullopt},
                    ConversionCase{"000000000000000000005", 5}));

INSTANTIATE_TEST_SUITE_P(
    SpacesAndSigns, TextToInt16,
    testing::Values(ConversionCase{" 5", 5}, ConversionCase{"5 ", 5},
                    ConversionCase{"   -3   ", -3}, ConversionCase{"\t7\t", 7},
                    ConversionCase{"+4", 4}, ConversionCase{"- 4", std::nullopt},
                    ConversionCase{"4 0", std::nullopt}, ConversionCase{"\n5", std::nullopt},
                    ConversionCase{"5\r", std::nullopt}, ConversionCase{"--4", std::nullopt},
                    ConversionCase{"+-4", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    NotANumber, TextToInt16,
    testing::Values(ConversionCase{"abc", std::nullopt}, ConversionCase{"", std::nullopt},
                    ConversionCase{"   ", std::nullopt}, ConversionCase{"-", std::nullopt},
                    ConversionCase{".", std::nullopt}, ConversionCase{"-.", std::nullopt},
                    ConversionCase{"5a", std::nullopt}, ConversionCase{"1,5", std::nullopt},
                    ConversionCase{"1.000", 1}, ConversionCase{"1.2.3", std::nullopt},
                    ConversionCase{"0x10", std::nullopt}, ConversionCase{"1e2", std::nullopt},
                    ConversionCase{"1e999", std::nullopt}, ConversionCase{"inf", std::nullopt},
                    ConversionCase{"nan", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    HostileText, TextToInt16,
    testing::Values(ConversionCase{std::string(100000, '9'), std::nullopt},
                    ConversionCase{std::string(100000, '0') + "12", 12},
                    ConversionCase{"3." + std::string(100000, '0') + "1", 3},
                    ConversionCase{"2." + std::string(100000, '5'), 3},
                    ConversionCase{std::string(100000, ' ') + "8", 8},
                    ConversionCase{std::string("5\0", 2), std::nullopt},
                    ConversionCase{std::string("\0"
                                               "5",
                                               2),
                                   std::nullopt},
                    ConversionCase{"\xEF\xBC\x95", std::nullopt},  // fullwidth digit five
                    ConversionCase{"\xD9\xA5", std::nullopt},      // Arabic-Indic digit five
                    ConversionCase{"5\xC2\xA0", std::nullopt},     // no-break space
                    ConversionCase{"\xFF\xFE", std::nullopt}));

}  // namespace
}  // namespace orlo
