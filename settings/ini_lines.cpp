#include "settings/ini_lines.h"

namespace orlo::ini {
namespace {

// The characters QSettings skips before a line starts.
bool isLeadingSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The characters that can end or change a line: breaks, quotes, comments, '=' and escapes.
bool isSpecial(char c) {
  return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

// What QByteArrayView::trimmed() removes: ASCII white space.
bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text, bool (*strip)(char)) {
  while (!text.empty() && strip(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && strip(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

struct LogicalLine {
  std::string_view text;
  std::optional<std::size_t> equalsAt;  // offset of the first '=' outside quotes, in text
  std::size_t number;                   // 1-based line number of its first character
};

// Hands out the logical lines of a file one by one. A logical line ends at a line break or a
// ';' outside quotes; a quoted part or a backslash before a line break carries it over the
// break. Blank lines and ';' comment lines are skipped.
class LineReader {
 public:
  explicit LineReader(std::string_view file) : data_(file) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (data_.starts_with(kByteOrderMark)) {
      data_.remove_prefix(kByteOrderMark.size());
    }
  }

  std::optional<LogicalLine> next() {
    const std::size_t size = data_.size();
    bool inQuotes = false;
    std::optional<std::size_t> equalsAt;

    std::size_t lineStart = position_;
    while (lineStart < size && isLeadingSpace(data_[lineStart])) {
      ++lineStart;
    }

    std::size_t i = lineStart;
    while (i < size) {
      while (i < size && !isSpecial(data_[i])) {
        ++i;
      }
      if (i == size) {
        break;
      }
      const char ch = data_[i++];
      if (ch == '=') {
        if (!inQuotes && !equalsAt) {
          equalsAt = i - 1;
        }
      } else if (ch == '\n' || ch == '\r') {
        if (i == lineStart + 1) {
          ++lineStart;
        } else if (!inQuotes) {
          --i;
          break;
        }
      } else if (ch == '\\') {
        if (i < size) {
          const char escaped = data_[i++];
          if (i < size) {
            const char after = data_[i];
            if ((escaped == '\n' && after == '\r') || (escaped == '\r' && after == '\n')) {
              ++i;
            }
          }
        }
      } else if (ch == '"') {
        inQuotes = !inQuotes;
      } else if (i == lineStart + 1) {  // a ';' that starts a line: a comment line
        while (i < size && data_[i] != '\n' && data_[i] != '\r') {
          ++i;
        }
        while (i < size && isLeadingSpace(data_[i])) {
          ++i;
        }
        lineStart = i;
      } else if (!inQuotes) {  // a ';' after text ends the line; the rest is a comment
        --i;
        break;
      }
    }

    position_ = i;
    if (i == lineStart) {
      return std::nullopt;
    }
    LogicalLine line{data_.substr(lineStart, i - lineStart), std::nullopt, lineNumberAt(lineStart)};
    if (equalsAt) {
      line.equalsAt = *equalsAt - lineStart;
    }
    return line;
  }

 private:
  std::size_t lineNumberAt(std::size_t offset) {
    for (; counted_ < offset; ++counted_) {
      const char c = data_[counted_];
      const bool crlf = c == '\r' && counted_ + 1 < data_.size() && data_[counted_ + 1] == '\n';
      if (c == '\n' || (c == '\r' && !crlf)) {
        ++lineNumber_;
      }
    }
    return lineNumber_;
  }

  std::string_view data_;
  std::size_t position_ = 0;
  std::size_t counted_ = 0;
  std::size_t lineNumber_ = 1;
};

bool isHeader(const LogicalLine& line) {
  return line.text.starts_with('[');
}

// The section a header line opens, as written between its brackets.
std::string_view headerName(std::string_view header) {
  const std::size_t close = header.find(']');
  const std::size_t end = close == std::string_view::npos ? header.size() : close;
  return trimmed(header.substr(1, end - 1), isWhiteSpace);
}

}  // namespace

std::map<std::string, std::string> rawValuesOfSection(std::string_view file,
                                                      std::string_view section) {
  std::map<std::string, std::string> values;
  bool inSection = false;  // lines before the first header belong to no named section
  LineReader reader(file);
  while (const auto line = reader.next()) {
    if (isHeader(*line)) {
      inSection = headerName(line->text) == section;
    } else if (inSection && line->equalsAt) {
      const std::string_view key = trimmed(line->text.substr(0, *line->equalsAt), isWhiteSpace);
      const std::string_view value = trimmed(line->text.substr(*line->equalsAt + 1), isBlank);
      values.insert_or_assign(std::string(key), std::string(value));
    }
  }
  return values;
}

std::optional<MalformedLine> firstMalformedLine(std::string_view file) {
  LineReader reader(file);
  while (const auto line = reader.next()) {
    const bool malformed = isHeader(*line) ? line->text.find(']') == std::string_view::npos
                                           : !line->equalsAt && !line->text.starts_with(';');
    if (malformed) {
      return MalformedLine{line->number, std::string(line->text)};
    }
  }
  return std::nullopt;
}

}  // namespace orlo::ini
