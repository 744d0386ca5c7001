#include <gtest/gtest.h>

#include <QSettings>
#include <QStringList>
#include <string>
#include <vector>

#include "settings/ini_lines.h"
#include "settings_test_support.h"

namespace orlo::ini {
namespace {

using testing_support::TempFolder;
using testing_support::writeBytes;

// Each file is also read by QSettings itself: the line scanner must split it the same way.
struct LinesCase {
  const char* name;
  std::string file;
  std::map<std::string, std::string> monitorValues;  // raw texts under [Monitor]
  std::optional<std::size_t> malformedLine;
};
void PrintTo(const LinesCase& c, std::ostream* out) {
  *out << c.name;
}

class IniLines : public testing::TestWithParam<LinesCase> {};

TEST_P(IniLines, SplitsTheFileAsQSettingsDoes) {
  const LinesCase& c = GetParam();
  EXPECT_EQ(rawValuesOfSection(c.file, "Monitor"), c.monitorValues);
  const auto malformed = firstMalformedLine(c.file);
  EXPECT_EQ(malformed ? std::optional(malformed->number) : std::nullopt, c.malformedLine);

  TempFolder folder;
  const std::string path = folder.file("lines.conf");
  writeBytes(path, c.file);
  QSettings settings(QString::fromStdString(path), QSettings::NativeFormat);
  settings.beginGroup("Monitor");
  QStringList expectedKeys;
  for (const auto& entry : c.monitorValues) {
    expectedKeys << QString::fromStdString(entry.first);
  }
  EXPECT_EQ(settings.childKeys(), expectedKeys);
  settings.endGroup();
  settings.allKeys();
  EXPECT_EQ(settings.status() == QSettings::FormatError, c.malformedLine.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniLines,
    testing::Values(
        LinesCase{"Plain", "[Monitor]\nip0=a\nip1 = b c \n", {{"ip0", "a"}, {"ip1", "b c"}}, {}},
        LinesCase{"CommentLinesAndBlankLines",
                  "; top\n\n[Monitor]\n  ; indented comment\n\nip0=a\n",
                  {{"ip0", "a"}},
                  {}},
        LinesCase{"SemicolonEndsTheLine", "[Monitor]\nip0=a ; rest\n", {{"ip0", "a"}}, {}},
        LinesCase{"SemicolonInQuotes", "[Monitor]\nip0=\"a;b\"\n", {{"ip0", "\"a;b\""}}, {}},
        LinesCase{"QuotesCarryOverLineBreaks",
                  "[Monitor]\nip0=\"a\nb=c\"\nip1=d\n",
                  {{"ip0", "\"a\nb=c\""}, {"ip1", "d"}},
                  {}},
        LinesCase{"BackslashCarriesOverALineBreak",
                  "[Monitor]\nip0=a\\\r\nb\nip1=c\n",
                  {{"ip0", "a\\\r\nb"}, {"ip1", "c"}},
                  {}},
        LinesCase{"EqualsInQuotedKeyPart", "[Monitor]\n\"k=x\"=v\n", {{"\"k=x\"", "v"}}, {}},
        LinesCase{
            "LoneCarriageReturns", "[Monitor]\rip0=a\rip1=b\r", {{"ip0", "a"}, {"ip1", "b"}}, {}},
        LinesCase{
            "HeaderWithBlanksAndTrailingText", "[ Monitor ] trailing\nip0=a\n", {{"ip0", "a"}}, {}},
        LinesCase{"UnclosedHeader", "[Monitor]\nip0=a\n[Other\nx=1\n", {{"ip0", "a"}}, 3},
        LinesCase{"LineWithoutEquals", "[Monitor]\nip0=a\n\n\njunk\n", {{"ip0", "a"}}, 5},
        LinesCase{"JunkAfterACommentLine", "; c\r\njunk\r\n", {}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orlo::ini
