#pragma once

// The registry calls that the settings store and the entry that starts the program at login
// share: one value under HKEY_CURRENT_USER read, written or deleted through the wide-character
// API. Windows only.

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>

namespace orlo::registry {

// A registry call failed. The message says what could not be done and why, in the system's words
// ("cannot be read, because its key cannot be opened: Access is denied. (error 5)"), for the
// caller to put after the value's name and key.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct StoredValue {
  DWORD type = REG_NONE;
  std::wstring text;  // of a REG_SZ value: its text up to its first NUL; empty for other types
};

// The value under HKEY_CURRENT_USER\keyPath, opened for reading only; nothing when the key or the
// value does not exist. A value that keeps changing size while it is read is given up on.
std::optional<StoredValue> readValue(const std::wstring& keyPath, const std::wstring& name);

// Writes the text as a REG_SZ value, whole or not at all, creating the key as needed.
void writeText(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text);

// Deletes the value; one that does not exist, or whose key does not, is no failure.
void deleteValue(const std::wstring& keyPath, const std::wstring& name);

// The type's name: "REG_DWORD", or "of type N" for a number with no name.
std::string typeName(DWORD type);

}  // namespace orlo::registry
