#include "settings/autostart_entry.h"

#include <utility>

#include "program_identity.h"
#include "settings/message_text.h"
#include "settings/user_file.h"

namespace orlo {
namespace {

constexpr std::string_view kGroup = "[Desktop Entry]";
// Characters that make a desktop entry quote an argument of its Exec.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
// Characters that take a backslash inside a quoted argument.
constexpr std::string_view kEscapedInQuotes = "\"`$\\";

// A value of string type: a backslash stands for itself as two.
std::string stringValue(std::string_view text) {
  std::string value;
  for (const char character : text) {
    if (character == '\\') {
      value += '\\';
    }
    value += character;
  }
  return value;
}

std::string unescapedStringValue(std::string_view value) {
  std::string text;
  for (std::size_t at = 0; at < value.size(); ++at) {
    if (value[at] != '\\' || at + 1 == value.size()) {
      text += value[at];
      continue;
    }
    const char escaped = value[++at];
    switch (escaped) {
      case 's':
        text += ' ';
        break;
      case 'n':
        text += '\n';
        break;
      case 't':
        text += '\t';
        break;
      case 'r':
        text += '\r';
        break;
      default:
        text += escaped;
    }
  }
  return text;
}

// The program as the first word of an Exec: quoted where it holds a reserved character, and a
// "%" doubled, as Exec reads it as the start of a field code.
std::string execWord(std::string_view program) {
  std::string word;
  for (const char character : program) {
    if (character == '%') {
      word += "%%";
    } else if (kEscapedInQuotes.find(character) != std::string_view::npos) {
      word += std::string("\\") + character;
    } else {
      word += character;
    }
  }
  return program.find_first_of(kReserved) == std::string_view::npos ? word : '"' + word + '"';
}

// The first word of an Exec whose string escapes are read already.
std::string firstExecWord(std::string_view exec) {
  std::string word;
  const bool quoted = exec.starts_with('"');
  for (std::size_t at = quoted ? 1 : 0; at < exec.size(); ++at) {
    const char character = exec[at];
    if (quoted ? character == '"' : (character == ' ' || character == '\t')) {
      break;
    }
    // A backslash in quotes, and a doubled "%", stand for the character after them.
    const bool escaped = quoted && character == '\\' && at + 1 < exec.size() &&
                         kEscapedInQuotes.find(exec[at + 1]) != std::string_view::npos;
    const bool doubled = character == '%' && at + 1 < exec.size() && exec[at + 1] == '%';
    if (escaped || doubled) {
      ++at;
    }
    word += exec[at];
  }
  return word;
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

LoginStartError leftAsItIs(const std::string& why) {
  return LoginStartError(why + ", so it was left as it is.");
}

}  // namespace

std::string autostartEntryText(std::string_view programPath) {
  if (escapedForMessage(programPath) != programPath) {
    throw LoginStartError("A desktop entry cannot start " + escapedForMessage(programPath) +
                          ": its path is not UTF-8 text, or holds a control character.");
  }
  return std::string(kGroup) + "\nType=Application\nName=" + identity::kProductName +
         "\nComment=Watch up to ten IPv4 hosts with ping lamps\nExec=" +
         stringValue(execWord(programPath)) + "\nTryExec=" + stringValue(programPath) +
         "\nTerminal=false\n";
}

std::optional<std::string> programStartedBy(std::string_view entryText) {
  bool inGroup = false;
  while (!entryText.empty()) {
    const std::size_t end = entryText.find('\n');
    const std::string_view line = trimmed(entryText.substr(0, end));
    entryText.remove_prefix(end == std::string_view::npos ? entryText.size() : end + 1);
    if (line.starts_with('[')) {
      inGroup = line == kGroup;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (inGroup && equals != std::string_view::npos && trimmed(line.substr(0, equals)) == "Exec") {
      return firstExecWord(unescapedStringValue(trimmed(line.substr(equals + 1))));
    }
  }
  return std::nullopt;
}

AutostartEntry::AutostartEntry(std::string filePath, std::string programPath)
    : filePath_(std::move(filePath)), programPath_(std::move(programPath)) {}

std::string AutostartEntry::defaultFilePath() {
  try {
    return user_file::configFolder() + "/autostart/orlo-monitor.desktop";
  } catch (const user_file::FileProblem& problem) {
    throw LoginStartError(std::string("The autostart folder cannot be found: ") + problem.what() +
                          ".");
  }
}

AutostartEntry::Found AutostartEntry::inspect() const {
  user_file::Contents contents;
  try {
    contents = user_file::read(filePath_);
  } catch (const user_file::FileProblem& problem) {
    return {State::Other, problem.what()};
  }
  if (!contents.exists()) {
    return {State::Absent, {}};
  }
  if (programStartedBy(contents.bytes) == programPath_) {
    return {State::ThisProgram, {}};
  }
  return {State::Other, user_file::shown(filePath_) + " starts another program"};
}

LoginStart::State AutostartEntry::state() const {
  return inspect().state;
}

void AutostartEntry::add() {
  const Found found = inspect();
  if (found.state == State::Other) {
    throw leftAsItIs(found.why);
  }
  if (found.state == State::ThisProgram) {
    return;
  }
  try {
    user_file::replace(filePath_, autostartEntryText(programPath_), user_file::Contents{});
  } catch (const user_file::FileProblem& problem) {
    throw LoginStartError(std::string(problem.what()) + ", so nothing was changed.");
  }
}

void AutostartEntry::remove() {
  const Found found = inspect();
  if (found.state == State::Other) {
    throw leftAsItIs(found.why);
  }
  try {
    user_file::remove(filePath_);
  } catch (const user_file::FileProblem& problem) {
    throw leftAsItIs(problem.what());
  }
}

}  // namespace orlo
