#include "settings/ini_document.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace orlo::ini {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

bool isLineBreak(char c) {
  return c == '\n' || c == '\r';
}

// What QByteArrayView::trimmed() removes around names: ASCII white space.
bool isWhiteSpace(char c) {
  return isBlank(c) || isLineBreak(c) || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isWhiteSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isWhiteSpace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::size_t skipBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && isBlank(text[at])) {
    ++at;
  }
  return at;
}

bool equalsIgnoringCase(std::string_view text, std::string_view lowerCase) {
  return std::equal(
      text.begin(), text.end(), lowerCase.begin(), lowerCase.end(),
      [](char c, char lower) { return (c >= 'A' && c <= 'Z' ? c + 32 : c) == lower; });
}

int digitValue(char c, int base) {
  int value = base;
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  }
  return value < base ? value : -1;
}

bool isSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDFFF;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The character that starts at text[at] and its length in bytes; U+FFFD and 1 for a byte that
// does not start a valid UTF-8 sequence, as QString::fromUtf8 reads it.
std::pair<char32_t, std::size_t> characterAt(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    return {lead, 1};
  }
  std::size_t length = 0;
  char32_t c = 0;
  char32_t smallest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    c = lead & 0x1F;
    smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    c = lead & 0x0F;
    smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    c = lead & 0x07;
    smallest = 0x10000;
  } else {
    return {kReplacementCharacter, 1};
  }
  if (at + length > text.size()) {
    return {kReplacementCharacter, 1};
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[at + i]);
    if ((byte & 0xC0) != 0x80) {
      return {kReplacementCharacter, 1};
    }
    c = (c << 6) | (byte & 0x3F);
  }
  if (c < smallest || c > 0x10FFFF || isSurrogate(c)) {
    return {kReplacementCharacter, 1};
  }
  return {c, length};
}

// ---- Names ---------------------------------------------------------------------------------

void appendHexUnit(std::string& out, char32_t unit, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
    out += kUpperHexDigits[(unit >> shift) & 0xF];
  }
}

// A section or key name as QSettings writes it: letters, digits, '_', '-' and '.' as they are,
// '/' as '\', other Latin-1 characters as %XX, the rest as UTF-16 units %UXXXX.
std::string encodedName(std::string_view name) {
  std::string out;
  for (std::size_t at = 0; at < name.size();) {
    const auto [c, length] = characterAt(name, at);
    at += length;
    if (c == '/') {
      out += '\\';
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == '.') {
      out += static_cast<char>(c);
    } else if (c <= 0xFF) {
      out += '%';
      appendHexUnit(out, c, 2);
    } else if (c <= 0xFFFF) {
      out += "%U";
      appendHexUnit(out, c, 4);
    } else {
      out += "%U";
      appendHexUnit(out, 0xD800 + ((c - 0x10000) >> 10), 4);
      out += "%U";
      appendHexUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF), 4);
    }
  }
  return out;
}

// The UTF-16 unit of a %XX or %UXXXX escape at written[at], and the escape's length.
std::optional<std::pair<char32_t, std::size_t>> percentEscapeAt(std::string_view written,
                                                                std::size_t at) {
  const bool wide = at + 1 < written.size() && written[at + 1] == 'U';
  const std::size_t first = at + (wide ? 2 : 1);
  const std::size_t digits = wide ? 4 : 2;
  if (written[at] != '%' || first + digits > written.size()) {
    return std::nullopt;
  }
  char32_t unit = 0;
  for (std::size_t i = first; i < first + digits; ++i) {
    const int digit = digitValue(written[i], 16);
    if (digit < 0) {
      return std::nullopt;
    }
    unit = unit * 16 + static_cast<char32_t>(digit);
  }
  return std::pair{unit, first + digits - at};
}

// A name as QSettings reads it; a lone surrogate escape stays as written.
std::string decodedName(std::string_view written) {
  std::string out;
  for (std::size_t at = 0; at < written.size();) {
    if (written[at] == '\\') {
      out += '/';
      ++at;
      continue;
    }
    auto escape = percentEscapeAt(written, at);
    if (escape && isSurrogate(escape->first)) {
      const auto low = percentEscapeAt(written, at + escape->second);
      if (escape->first < 0xDC00 && low && low->first >= 0xDC00 && isSurrogate(low->first)) {
        escape->first = 0x10000 + ((escape->first - 0xD800) << 10) + (low->first - 0xDC00);
        escape->second += low->second;
      } else {
        escape.reset();
      }
    }
    if (escape) {
      appendUtf8(out, escape->first);
      at += escape->second;
    } else {
      out += written[at++];
    }
  }
  return out;
}

// The section a header names; "General" is the part before any header, "%General" a section
// of that name.
std::string sectionName(std::string_view written) {
  written = trimmed(written);
  if (equalsIgnoringCase(written, "general")) {
    return {};
  }
  if (equalsIgnoringCase(written, "%general")) {
    return std::string(written.substr(1));
  }
  return decodedName(written);
}

std::string sectionHeader(std::string_view name) {
  if (equalsIgnoringCase(name, "general")) {
    return "[%" + std::string(name) + "]";
  }
  return "[" + encodedName(name) + "]";
}

// ---- Values --------------------------------------------------------------------------------

// The one-letter escapes QSettings writes, and the character each stands for.
constexpr std::pair<char, char> kLetterEscapes[] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'},
                                                    {'n', '\n'}, {'r', '\r'}, {'t', '\t'},
                                                    {'v', '\v'}, {'"', '"'},  {'\\', '\\'}};

std::optional<char> simpleEscape(char code) {
  if (code == '?' || code == '\'') {  // read, though never written
    return code;
  }
  for (const auto& [letter, character] : kLetterEscapes) {
    if (letter == code) {
      return character;
    }
  }
  return std::nullopt;
}

std::optional<char> escapeLetterOf(char character) {
  for (const auto& [letter, escaped] : kLetterEscapes) {
    if (escaped == character) {
      return letter;
    }
  }
  return std::nullopt;
}

// A \x<hex> or \<octal> escape whose code ('x' or the first octal digit) was just read; `at`
// moves past its digits. Nothing when it has no digits or is no Unicode scalar value.
std::optional<char32_t> numericEscape(std::string_view written, char code, std::size_t& at) {
  const int base = code == 'x' ? 16 : 8;
  char32_t value = code == 'x' ? 0 : static_cast<char32_t>(code - '0');
  bool hasDigits = code != 'x';
  while (at < written.size() && digitValue(written[at], base) >= 0) {
    value =
        value * static_cast<char32_t>(base) + static_cast<char32_t>(digitValue(written[at], base));
    if (value > 0x10FFFF) {
      return std::nullopt;
    }
    hasDigits = true;
    ++at;
  }
  if (!hasDigits || isSurrogate(value)) {
    return std::nullopt;
  }
  return value;
}

// QSettings marks a text that holds NUL as "@String(...)" and one that starts with '@' with
// another '@'; other '@' forms are other types, whose text is what stands in the file.
void dropTypeMark(std::string& text) {
  constexpr std::string_view kStringMark = "@String(";
  if (text.starts_with(kStringMark) && text.ends_with(')')) {
    text.pop_back();
    text.erase(0, kStringMark.size());
  } else if (text.starts_with("@@")) {
    text.erase(0, 1);
  }
}

struct WrittenValue {
  std::string text;
  std::size_t begin;  // where the written value stands after '='
  std::size_t end;
};

// What the text after '=' on one line reads as.
WrittenValue decodedValue(std::string_view written) {
  const std::size_t begin = skipBlanks(written, 0);
  const auto asWritten = [&](std::size_t upTo) {
    std::size_t end = upTo;
    while (end > begin && isBlank(written[end - 1])) {
      --end;
    }
    return WrittenValue{std::string(written.substr(begin, end - begin)), begin, end};
  };

  std::string text;
  bool inQuotes = false;
  bool quoted = false;
  bool list = false;
  std::size_t keptBlanksEnd = 0;  // blanks up to here came from escapes or quotes: they stay
  std::size_t at = begin;
  while (at < written.size()) {
    const char c = written[at++];
    if (c == '\\') {
      if (at == written.size()) {
        return asWritten(written.size());
      }
      const char code = written[at++];
      if (const auto simple = simpleEscape(code)) {
        text += *simple;
      } else if (code == 'x' || (code >= '0' && code <= '7')) {
        const auto character = numericEscape(written, code, at);
        if (!character) {
          return asWritten(written.size());
        }
        appendUtf8(text, *character);
      } else {
        return asWritten(written.size());
      }
      keptBlanksEnd = text.size();
    } else if (c == '"') {
      quoted = true;
      inQuotes = !inQuotes;
      if (!inQuotes) {
        at = skipBlanks(written, at);
        keptBlanksEnd = text.size();
      }
    } else if (c == ';' && !inQuotes) {
      --at;
      break;
    } else {
      list = list || (c == ',' && !inQuotes);
      text += c;
    }
  }
  if (inQuotes) {
    return asWritten(written.size());
  }
  WrittenValue value = asWritten(at);
  if (list) {
    return value;
  }
  if (!quoted) {
    while (text.size() > keptBlanksEnd && isBlank(text.back())) {
      text.pop_back();
    }
  }
  dropTypeMark(text);
  value.text = std::move(text);
  return value;
}

bool isHexDigit(char c) {
  return digitValue(c, 16) >= 0;
}

void appendLowerHexEscape(std::string& out, unsigned char byte) {
  constexpr char kLowerHexDigits[] = "0123456789abcdef";
  out += "\\x";
  if (byte >= 16) {
    out += kLowerHexDigits[byte / 16];
  }
  out += kLowerHexDigits[byte % 16];
}

// A text value as QSettings writes it after '='.
std::string encodedValue(std::string_view value) {
  std::string text;
  if (value.find('\0') != std::string_view::npos) {
    text = "@String(" + std::string(value) + ")";
  } else if (value.starts_with('@')) {
    text = "@" + std::string(value);
  } else {
    text = value;
  }

  std::string out;
  bool needsQuotes = false;
  // After \0 or \x.., a hex digit is escaped too, or it would read as part of the escape.
  bool escapeHexDigit = false;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    needsQuotes = needsQuotes || c == ';' || c == ',' || c == '=';
    if (escapeHexDigit && isHexDigit(c)) {
      appendLowerHexEscape(out, byte);
      continue;
    }
    escapeHexDigit = false;
    if (c == '\0') {
      out += "\\0";
      escapeHexDigit = true;
    } else if (const auto letter = escapeLetterOf(c)) {
      out += '\\';
      out += *letter;
    } else if (byte <= 0x1F) {
      appendLowerHexEscape(out, byte);
      escapeHexDigit = true;
    } else {
      out += c;
    }
  }
  if (needsQuotes || (!out.empty() && (out.front() == ' ' || out.back() == ' '))) {
    out = '"' + out + '"';
  }
  return out;
}

}  // namespace

void checkName(const char* what, std::string_view name) {
  if (name.empty() || name.find_first_of("/\\") != std::string_view::npos) {
    throw std::invalid_argument(std::string("a settings ") + what + " name \"" + std::string(name) +
                                "\" is empty or holds '/' or '\\'");
  }
}

Document::Document(std::string_view bytes) {
  if (bytes.starts_with(kByteOrderMark)) {
    byteOrderMark_ = kByteOrderMark;
    bytes.remove_prefix(kByteOrderMark.size());
  }
  text_ = bytes;
  parse();
}

void Document::parse() {
  sections_.clear();
  sectionIndexByName_.clear();
  settings_.clear();
  lineEnding_.clear();
  std::size_t section = sectionIndex("");
  for (std::size_t begin = 0; begin < text_.size();) {
    const std::size_t lineBreak = text_.find_first_of("\r\n", begin);
    const std::size_t end = lineBreak == std::string::npos ? text_.size() : lineBreak;
    std::size_t next = end;
    if (lineBreak != std::string::npos) {
      next += text_.compare(lineBreak, 2, "\r\n") == 0 ? 2 : 1;
      if (lineEnding_.empty()) {
        lineEnding_ = text_.substr(end, next - end);
      }
    }
    section = readLine(begin, end, next, section);
    begin = next;
  }
  if (lineEnding_.empty()) {
    lineEnding_ = "\n";
  }
}

std::size_t Document::sectionIndex(const std::string& name) {
  const auto [found, added] = sectionIndexByName_.try_emplace(name, sections_.size());
  if (added) {
    sections_.push_back({name});
  }
  return found->second;
}

std::size_t Document::readLine(std::size_t begin, std::size_t end, std::size_t next,
                               std::size_t section) {
  const std::string_view line = std::string_view(text_).substr(begin, end - begin);
  const std::size_t start = skipBlanks(line, 0);
  if (start == line.size() || line[start] == ';' || line[start] == '#') {
    return section;
  }
  // As in QSettings, a ';' outside quotes ends the useful part of the line, and a backslash
  // hides the character after it.
  std::size_t usefulEnd = line.size();
  std::optional<std::size_t> equals;
  bool inQuotes = false;
  for (std::size_t i = start; i < line.size(); ++i) {
    if (line[i] == '\\') {
      ++i;
    } else if (line[i] == '"') {
      inQuotes = !inQuotes;
    } else if (line[i] == ';' && !inQuotes) {
      usefulEnd = i;
      break;
    } else if (line[i] == '=' && !inQuotes && !equals) {
      equals = i;
    }
  }

  if (line[start] == '[') {
    const std::string_view header = line.substr(start + 1, usefulEnd - start - 1);
    section = sectionIndex(sectionName(header.substr(0, header.find(']'))));
    sections_[section].hasHeader = true;
  } else if (equals) {
    const std::string_view key = trimmed(line.substr(start, *equals - start));
    if (!key.empty()) {
      const std::size_t valueStart = begin + *equals + 1;
      WrittenValue value = decodedValue(line.substr(*equals + 1));
      settings_.push_back({section, decodedName(key), valueStart + value.begin,
                           valueStart + value.end, std::move(value.text)});
    }
  }
  sections_[section].lastLineEnd = end;
  sections_[section].lastLineNext = next;
  return section;
}

bool Document::defines(const Setting& setting, std::string_view section,
                       std::string_view key) const {
  return sections_[setting.section].name == section && setting.key == key;
}

std::optional<std::string> Document::value(std::string_view section, std::string_view key) const {
  for (auto it = settings_.rbegin(); it != settings_.rend(); ++it) {
    if (defines(*it, section, key)) {
      return it->value;
    }
  }
  return std::nullopt;
}

std::string Document::separatorBeforeNewSection() const {
  std::string separator;
  std::string_view text = text_;
  if (text.empty()) {
    return separator;
  }
  if (isLineBreak(text.back())) {
    text.remove_suffix(text.ends_with("\r\n") ? 2 : 1);
  } else {
    separator += lineEnding_;  // the last line gets its ending first
  }
  const std::size_t lastLineBreak = text.find_last_of("\r\n");
  const std::string_view lastLine =
      lastLineBreak == std::string_view::npos ? text : text.substr(lastLineBreak + 1);
  if (!trimmed(lastLine).empty()) {
    separator += lineEnding_;  // a blank line between the sections
  }
  return separator;
}

void Document::setValue(std::string_view section, std::string_view key, std::string_view value) {
  checkName("section", section);
  checkName("key", key);
  const std::string written = encodedValue(value);

  bool defined = false;
  // From the last to the first, so that the earlier offsets stay right.
  for (auto it = settings_.rbegin(); it != settings_.rend(); ++it) {
    if (defines(*it, section, key)) {
      text_.replace(it->valueBegin, it->valueEnd - it->valueBegin, written);
      defined = true;
    }
  }
  if (defined) {
    parse();
    return;
  }

  const std::string line = encodedName(key) + "=" + written + lineEnding_;
  const auto found = sectionIndexByName_.find(section);
  if (found != sectionIndexByName_.end() && sections_[found->second].hasHeader) {
    const Section& target = sections_[found->second];
    if (target.lastLineNext == target.lastLineEnd) {  // the file's last line, without an ending
      text_.insert(target.lastLineEnd, lineEnding_ + line);
    } else {
      text_.insert(target.lastLineNext, line);
    }
  } else {
    text_ += separatorBeforeNewSection() + sectionHeader(section) + lineEnding_ + line;
  }
  parse();
}

}  // namespace orlo::ini
