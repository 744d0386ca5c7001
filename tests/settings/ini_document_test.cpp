#include "settings/ini_document.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings_test_support.h"

namespace orlo::ini {
namespace {

using testing_support::caseName;
using testing_support::PrintTo;
using testing_support::readBytes;
using testing_support::TempFolder;
using testing_support::writeBytes;

QString qtText(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The file QSettings writes with these values alone in it.
std::string writtenByQSettings(const std::vector<std::pair<std::string, std::string>>& values) {
  const TempFolder folder;
  const std::string path = folder.file("q.conf");
  {
    QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    for (const auto& [key, value] : values) {
      settings.setValue(qtText(key), qtText(value));
    }
  }
  return readBytes(path);
}

struct NamedText {
  const char* name;
  std::string text;
};

class TextValue : public testing::TestWithParam<NamedText> {};

TEST_P(TextValue, IsWrittenAndReadAsQSettingsWritesAndReadsIt) {
  const std::string& text = GetParam().text;
  const std::string byQSettings = writtenByQSettings({{"Monitor/ip0", text}});
  Document ours("");
  ours.setValue("Monitor", "ip0", text);
  EXPECT_EQ(ours.bytes(), byQSettings);
  EXPECT_EQ(Document(byQSettings).value("Monitor", "ip0"), text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextValue,
    testing::Values(NamedText{"Empty", ""}, NamedText{"Plain", "10.0.0.1"},
                    NamedText{"LeadingSpace", " 10.0.0.1"}, NamedText{"TrailingSpace", "10.0.0.1 "},
                    NamedText{"OnlySpaces", "   "}, NamedText{"Tabs", "\t10.0.0.1\t"},
                    NamedText{"Quotes", "\"10.0.0.1\""}, NamedText{"OneQuote", "a\"b"},
                    NamedText{"Backslashes", "a\\b\\\\c\\"},
                    NamedText{"EscapeLookalikes", "\\n\\x41\\0"},
                    NamedText{"Comma", "10.0.0.1, 10.0.0.2"}, NamedText{"Equals", "a=b"},
                    NamedText{"Semicolon", "a;b"}, NamedText{"HashAndBrackets", "#x [Monitor]"},
                    NamedText{"Percent", "%41%U0042"}, NamedText{"Newlines", "a\nb\r\nc\r"},
                    NamedText{"ControlCharacters", "\a\b\f\v\x01\x1f\x7f"},
                    NamedText{"HexDigitAfterEscape",
                              "\x01"
                              "0aF\x1fg"},
                    NamedText{"Nul", std::string("a\0"
                                                 "1b",
                                                 4)},
                    NamedText{"NonAscii", "Grüße, 東京"},
                    NamedText{"OutsideTheBasicPlane", "🙂 𝄞"}, NamedText{"At", "@home"},
                    NamedText{"TwoAts", "@@"}, NamedText{"AtByteArray", "@ByteArray(10.0.0.1)"},
                    NamedText{"AtInvalid", "@Invalid()"}, NamedText{"AtString", "@String(x)"},
                    NamedText{"AtRect", "@Rect(1 2 3 4)"}),
    caseName);

TEST(Names, AreWrittenAndReadAsQSettingsWritesAndReadsThem) {
  // In the order QSettings sorts its sections, so that the two files are alike.
  const std::vector<std::pair<std::string, std::string>> names = {
      {"General", "x"}, {"Sec tion", "kéy"}, {"Ünï", "東-_.9"}};
  std::vector<std::pair<std::string, std::string>> values;
  Document ours("");
  for (const auto& [section, key] : names) {
    values.emplace_back(section + "/" + key, "v");
    ours.setValue(section, key, "v");
  }
  const std::string byQSettings = writtenByQSettings(values);
  EXPECT_EQ(ours.bytes(), byQSettings);
  for (const auto& [section, key] : names) {
    EXPECT_EQ(Document(byQSettings).value(section, key), "v") << section;
  }
}

struct ReadCase {
  const char* name;
  std::string file;
  std::optional<std::string> ip0;  // what ip0 under [Monitor] reads as
  bool likeQSettings;  // QSettings reads the same text (it may also report a format error)
};

class Reading : public testing::TestWithParam<ReadCase> {};

TEST_P(Reading, TakesEachLineAlone) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(Document(c.file).value("Monitor", "ip0"), c.ip0);
  if (c.likeQSettings) {
    const TempFolder folder;
    writeBytes(folder.file("q.conf"), c.file);
    const QSettings settings(QString::fromStdString(folder.file("q.conf")), QSettings::IniFormat);
    ASSERT_EQ(settings.contains("Monitor/ip0"), c.ip0.has_value());
    if (c.ip0) {
      EXPECT_EQ(settings.value("Monitor/ip0").typeId(), QMetaType::QString);
      EXPECT_EQ(settings.value("Monitor/ip0").toString(), qtText(*c.ip0));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Reading,
    testing::Values(
        ReadCase{"Blanks", "[Monitor]\nip0 =  10.0.0.1 \t\n", "10.0.0.1", true},
        ReadCase{"Comment", "[Monitor]\nip0=10.0.0.1 ; office\n", "10.0.0.1", true},
        ReadCase{"QuotedSemicolon", "[Monitor]\nip0=\" a;b \" ; c\n", " a;b ", true},
        ReadCase{"QuotesInside", "[Monitor]\nip0=a\"b c\" d\n", "ab cd", true},
        ReadCase{"Escapes", "[Monitor]\nip0=\\x41\\102\\t\\\"\\\\\\xe9\n", "AB\t\"\\é", true},
        ReadCase{"Empty", "[Monitor]\nip0=\n", "", true},
        ReadCase{"ByteOrderMarkAndCrLf", "\xEF\xBB\xBF[Monitor]\r\nip0=a \r\n", "a", true},
        ReadCase{"LoneCarriageReturns", "[Monitor]\rip0=a\rb\r", "a", true},
        ReadCase{"LastOfTwo", "[Monitor]\nip0=a\nip0=b\n", "b", true},
        ReadCase{"SectionInParts", "[Monitor]\nip0=a\n[Other]\nip0=x\n[Monitor]\nip1=y\n", "a",
                 true},
        ReadCase{"EscapedHeaderWithComment", " [ Mon%69tor ] ; main\nip0=x\n", "x", true},
        ReadCase{"UnclosedHeader", "[Monitor\nip0=x\n", "x", true},
        ReadCase{"JunkAndHashComments", "# a\njunk\n[Monitor]\n# ip0=no\njunk line\nip0=x\n", "x",
                 true},
        ReadCase{"OtherCase", "[monitor]\nIP0=x\n", std::nullopt, true},
        ReadCase{"NoSection", "ip0=x\n", std::nullopt, true},
        // QSettings reads these as a list, a byte array and nothing: the text as it stands.
        ReadCase{"List", "[Monitor]\nip0=10.0.0.1, 10.0.0.2 ; two\n", "10.0.0.1, 10.0.0.2", false},
        ReadCase{"AtByteArray", "[Monitor]\nip0=@ByteArray(10.0.0.1)\n", "@ByteArray(10.0.0.1)",
                 false},
        ReadCase{"AtInvalid", "[Monitor]\nip0=@Invalid()\n", "@Invalid()", false},
        // QSettings carries these over the line break or drops the escape; here they are literal.
        ReadCase{"UnclosedQuote", "[Monitor]\nip0=\"127.0.0.4 ; x\nip1=b\n", "\"127.0.0.4 ; x",
                 false},
        ReadCase{"TrailingBackslash", "[Monitor]\nip1=a\\\nip0=127.0.0.7\n", "127.0.0.7", false},
        ReadCase{"UnknownEscape", "[Monitor]\nip0= C:\\dir \n", "C:\\dir", false},
        ReadCase{"SurrogateEscape", "[Monitor]\nip0=\\xD800\n", "\\xD800", false}),
    caseName);

struct EditCase {
  const char* name;
  std::string before;
  std::vector<std::pair<std::string, std::string>> values;  // under [Monitor], in order
  std::string after;
};

class Editing : public testing::TestWithParam<EditCase> {};

TEST_P(Editing, ChangesOnlyTheLinesOfTheKeys) {
  Document document(GetParam().before);
  for (const auto& [key, value] : GetParam().values) {
    document.setValue("Monitor", key, value);
  }
  EXPECT_EQ(document.bytes(), GetParam().after);
  const Document reread(document.bytes());
  for (const auto& [key, value] : GetParam().values) {
    EXPECT_EQ(reread.value("Monitor", key), value) << key;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Editing,
    testing::Values(
        EditCase{"HandKept",
                 "\xEF\xBB\xBF; mine\r\n[Before]\r\nk=v\r\n\r\n[Monitor]\r\n# office\r\n"
                 "ip0 = 10.0.0.1 ; router\r\nipen0=1\r\nmine=kept\r\n\r\n; next\r\n[After]\r\n"
                 "x=\"1,2\"\r\n",
                 {{"ip0", "10.0.0.9"}, {"ipen0", "0"}, {"ip1", "new"}},
                 "\xEF\xBB\xBF; mine\r\n[Before]\r\nk=v\r\n\r\n[Monitor]\r\n# office\r\n"
                 "ip0 = 10.0.0.9 ; router\r\nipen0=0\r\nmine=kept\r\nip1=new\r\n\r\n; next\r\n"
                 "[After]\r\nx=\"1,2\"\r\n"},
        EditCase{"UndecodableLinesStayAlone",
                 "[Monitor]\nip3=\"127.0.0.4\nipen0=0\nip5=127.0.0.5\\\nip6=127.0.0.7\n[Other]\n"
                 "k=v\n",
                 {{"ip3", "127.0.0.4"}, {"ip5", "127.0.0.5"}},
                 "[Monitor]\nip3=127.0.0.4\nipen0=0\nip5=127.0.0.5\nip6=127.0.0.7\n[Other]\nk=v\n"},
        EditCase{"EveryDefinitionOfAKey",
                 "[Monitor]\nip0=a\n[Other]\n[Monitor]\nip0=b , c\n",
                 {{"ip0", "c,d"}},
                 "[Monitor]\nip0=\"c,d\"\n[Other]\n[Monitor]\nip0=\"c,d\"\n"},
        EditCase{"ValueOnlyKeyAndCommentStay",
                 "[Monitor]\n  ip0 =\t1, 2 ; two\n",
                 {{"ip0", " padded "}},
                 "[Monitor]\n  ip0 =\t\" padded \" ; two\n"},
        EditCase{"AddedAtTheEndOfTheLastPart",
                 "[Monitor]\nip0=a\n\n; about Other\n[Other]\nk=v\n[Monitor]\njunk\n=x\n\n",
                 {{"refresh", "5"}, {"ontop", "1"}},
                 "[Monitor]\nip0=a\n\n; about Other\n[Other]\nk=v\n[Monitor]\njunk\n=x\n"
                 "refresh=5\nontop=1\n\n"},
        EditCase{"AddedAfterALastLineWithoutEnding",
                 "[Monitor]\r\nip0=a",
                 {{"ip1", ""}},
                 "[Monitor]\r\nip0=a\r\nip1=\r\n"},
        EditCase{"SectionAddedAfterABlankLine",
                 "[Other]\nk=v",
                 {{"ip0", "x"}, {"ontop", "1"}},
                 "[Other]\nk=v\n\n[Monitor]\nip0=x\nontop=1\n"},
        EditCase{"SectionAddedWithTheFilesLineEnding",
                 "; c\r\n\r\n",
                 {{"ip0", "a"}},
                 "; c\r\n\r\n[Monitor]\r\nip0=a\r\n"},
        EditCase{"EmptyFile", "", {{"ip0", ""}}, "[Monitor]\nip0=\n"},
        EditCase{"OnlyAByteOrderMark",
                 "\xEF\xBB\xBF",
                 {{"ip0", "a"}},
                 "\xEF\xBB\xBF[Monitor]\nip0=a\n"}),
    caseName);

}  // namespace
}  // namespace orlo::ini
