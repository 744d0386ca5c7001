#include "settings/login_start_windows.h"

#include <windows.h>

#include <optional>
#include <string_view>
#include <utility>

#include "core/windows_text.h"
#include "program_identity.h"
#include "settings/message_text.h"
#include "settings/registry_value.h"

namespace orlo {
namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kShownRunKey[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring valueName() {
  return windows::utf16FromUtf8Replacing(identity::kProductName);
}

// "The value "Orlo - IP Monitor" under HKEY_CURRENT_USER\...\Run", to start each message.
std::string shownValue() {
  return "The value " + quotedForMessage(identity::kProductName) + " under " + kShownRunKey;
}

[[noreturn]] void failUnchanged(const std::string& what) {
  throw LoginStartError(shownValue() + " " + what + ". Nothing was changed.");
}

// The stored value, for a change that must know whose it is: one that cannot be read fails it.
std::optional<registry::StoredValue> readForChange() {
  try {
    return registry::readValue(kRunKey, valueName());
  } catch (const registry::RegistryError& failure) {
    failUnchanged(failure.what());
  }
}

// Whether the command names this path alone, in double quotes or without them.
bool namesPath(std::wstring_view command, const std::wstring& path) {
  if (command.size() >= 2 && command.front() == L'"' && command.back() == L'"') {
    command = command.substr(1, command.size() - 2);
  }
  // Windows compares paths without regard to case, character by character.
  return ::CompareStringOrdinal(command.data(), static_cast<int>(command.size()), path.data(),
                                static_cast<int>(path.size()), TRUE) == CSTR_EQUAL;
}

// Another program's value, which no change touches.
[[noreturn]] void failLeftAsItIs(const registry::StoredValue& stored) {
  failUnchanged(stored.type == REG_SZ
                    ? "starts something other than this program, and was left as it is: " +
                          escapedForMessage(windows::utf8FromUtf16Replacing(stored.text))
                    : "is a " + registry::typeName(stored.type) +
                          " value, not a command that starts this program, and was left as it is");
}

LoginStart::State stateOf(const std::optional<registry::StoredValue>& stored,
                          const std::wstring& path) {
  if (!stored) {
    return LoginStart::State::Absent;
  }
  return stored->type == REG_SZ && namesPath(stored->text, path) ? LoginStart::State::ThisProgram
                                                                 : LoginStart::State::Other;
}

}  // namespace

RunKeyLoginStart::RunKeyLoginStart(std::wstring programPath)
    : programPath_(std::move(programPath)) {}

LoginStart::State RunKeyLoginStart::state() const {
  try {
    return stateOf(registry::readValue(kRunKey, valueName()), programPath_);
  } catch (const registry::RegistryError&) {
    // A value that cannot be read may be another program's: it is never taken as this one's.
    return State::Other;
  }
}

void RunKeyLoginStart::add() {
  const std::optional<registry::StoredValue> stored = readForChange();
  if (stateOf(stored, programPath_) == State::Other) {
    failLeftAsItIs(*stored);
  }
  try {
    registry::writeText(kRunKey, valueName(), L"\"" + programPath_ + L"\"");
  } catch (const registry::RegistryError& failure) {
    failUnchanged(failure.what());
  }
}

void RunKeyLoginStart::remove() {
  const std::optional<registry::StoredValue> stored = readForChange();
  switch (stateOf(stored, programPath_)) {
    case State::Absent:
      return;
    case State::Other:
      failLeftAsItIs(*stored);
    case State::ThisProgram:
      break;
  }
  try {
    registry::deleteValue(kRunKey, valueName());
  } catch (const registry::RegistryError& failure) {
    failUnchanged(failure.what());
  }
}

}  // namespace orlo
