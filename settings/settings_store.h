#pragma once

#include <stdexcept>
#include <string>

namespace orlo {

// Every setting of the monitor lives under this application and section.
inline constexpr char kSettingsApplication[] = "Orlo";
inline constexpr char kSettingsSection[] = "Monitor";

// A store operation failed, or a stored value is unusable. The message says what failed in
// words a user can act on: the file, the key and the value.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A per-user store of text values addressed by application, section and key.
//
// A save is a save() for each value followed by one commit(). A store writes in one of two ways,
// and says which:
//  - all at once: save() only stages the value, and commit() writes every staged value together,
//    so that either all of them reach the store or none do (the settings file on Linux);
//  - value by value: save() writes its value at once, whole or not at all, and commit() has
//    nothing left to write; when a save() fails, the values saved before it stay saved (the
//    registry on Windows, which writes each value on its own).
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // The stored text, or defaultValue when the key is absent. A stored empty text is not
  // absent: it comes back as "". Throws SettingsError when the store cannot be read; reading
  // never writes anything.
  virtual std::string get(const std::string& application, const std::string& section,
                          const std::string& key, const std::string& defaultValue) = 0;

  // Creates or overwrites a value: staged until commit(), or written at once. Throws
  // SettingsError when a value written at once cannot be written; nothing of it is then stored.
  virtual void save(const std::string& application, const std::string& section,
                    const std::string& key, const std::string& value) = 0;

  // Ends a save. A store that writes all at once writes every staged value now: either all of
  // them reach the store or, when this throws SettingsError, none do and the store is as it was.
  // The staged values are dropped either way; a new save starts from nothing. A store that
  // writes value by value has nothing left to do.
  virtual void commit() = 0;

  // Where the values of the section live, in words for a message: a file path, a registry key,
  // or a description.
  virtual std::string location(const std::string& section) const = 0;
};

}  // namespace orlo
