#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orlo::ini {

// Throws std::invalid_argument when a section or key name (`what` says which) is empty or holds
// '/' or '\', which a settings file reads as a separator.
void checkName(const char* what, std::string_view name);

// A settings file in QSettings' INI format, read line by line and edited in place.
//
// Reading. Each physical line stands alone: a line ends at "\r\n", "\n" or "\r", and no value
// ever continues onto the next line. A leading UTF-8 byte order mark is skipped. A line is blank,
// a comment (its first character other than a space or tab is ';' or '#'), a "[section]" header,
// a "key=value" setting, or a line this reader does not understand; the last kind is kept and
// otherwise ignored, wherever it stands. A ';' outside quotes ends the useful part of any line.
// Section and key names are decoded as QSettings decodes them ("%20", "%U00E9", '\' for '/';
// "[General]" is the part before any header) and compared case-sensitively. A section split into
// parts is one section, and when a key occurs more than once in it, the last one counts.
//
// Values are decoded as QSettings decodes them: blanks around an unquoted value are dropped,
// quotes group text, and the escapes \a \b \f \n \r \t \v \" \? \' \\, \x<hex> and \<octal> stand
// for one character. A value that QSettings reads as something other than text reads as the text
// that stands after '=': an unquoted comma ("10.0.0.1, 10.0.0.2") makes a list, and a leading
// "@ByteArray(", "@Variant(" or "@Invalid()" another type. A value that cannot be decoded on its
// own line (an unclosed quote, a trailing backslash, an unknown escape, an escape that is not a
// Unicode scalar value) is taken literally: everything after '=', less the blanks around it.
// Bytes that are not valid UTF-8 are kept as they are.
//
// Writing. setValue() changes only the lines that define the key, and of each only the written
// value: the key, the blanks and a trailing comment stay. A missing key is added after the last
// line of its section that is neither blank nor a comment; a missing section is added at the end
// of the file, after a blank line. New lines end with the file's first line ending ("\n" in a
// file that has none); a last line without one gets one first. Every other byte is kept. Values
// and names are encoded exactly as QSettings writes a text value, so both read them back as set.
class Document {
 public:
  explicit Document(std::string_view bytes);

  // The value of key in section, or nothing when the file does not define it.
  std::optional<std::string> value(std::string_view section, std::string_view key) const;

  // Section and key must pass checkName().
  void setValue(std::string_view section, std::string_view key, std::string_view value);

  // The whole file.
  std::string bytes() const { return byteOrderMark_ + text_; }

 private:
  struct Section {
    std::string name;
    bool hasHeader = false;
    // Where the section's last line that is neither blank nor a comment ends, without and with
    // its line ending.
    std::size_t lastLineEnd = 0;
    std::size_t lastLineNext = 0;
  };
  struct Setting {
    std::size_t section;  // index in sections_
    std::string key;
    std::size_t valueBegin;  // where the written value stands in text_
    std::size_t valueEnd;
    std::string value;
  };

  void parse();
  std::size_t readLine(std::size_t begin, std::size_t end, std::size_t next, std::size_t section);
  std::size_t sectionIndex(const std::string& name);
  bool defines(const Setting& setting, std::string_view section, std::string_view key) const;
  std::string separatorBeforeNewSection() const;

  std::string byteOrderMark_;
  std::string text_;  // the file after the byte order mark
  std::string lineEnding_;
  std::vector<Section> sections_;
  std::map<std::string, std::size_t, std::less<>> sectionIndexByName_;
  std::vector<Setting> settings_;  // in file order
};

}  // namespace orlo::ini
