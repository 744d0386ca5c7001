#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// The lines of a settings file in QSettings' INI format, split exactly as QSettings splits
// them. QSettings itself only hands out parsed values; these give the store what it lacks: the
// text of a value as it stands in the file, and which line makes a file unreadable.
namespace orlo::ini {

// The raw text of every "key=value" line in one "[section]" of the file: everything after the
// first '=' up to the end of the line, less the blanks (spaces and tabs) around it, exactly as
// typed, with no unquoting or unescaping. Keys and section names are compared as written
// (case-sensitive, not unescaped). When a key occurs more than once, the last one counts, as in
// QSettings.
std::map<std::string, std::string> rawValuesOfSection(std::string_view file,
                                                      std::string_view section);

struct MalformedLine {
  std::size_t number;  // 1-based, counting every line break of the file
  std::string text;
};

// The first line that makes QSettings report a format error: a "[section" header without its
// ']', or a line that is neither a header, nor a "key=value" setting, nor a ';' comment.
std::optional<MalformedLine> firstMalformedLine(std::string_view file);

}  // namespace orlo::ini
