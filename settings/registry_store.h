#pragma once

#include <string>

#include "settings/settings_store.h"

namespace orlo {

// The per-user settings in the Windows registry, where Windows programs keep settings by
// application, section and key: each section is the key
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>, and each
// setting a REG_SZ value in it, so values that earlier Windows builds of the monitor saved are
// read as they stand. This store serves the application kSettingsApplication only: the
// application's key is where it keeps its values. Another application, an empty key, or a
// section that is empty or holds '\' is a programming error (std::invalid_argument).
//
// Text goes through the wide-character API, converted exactly between the program's UTF-8 and
// the registry's UTF-16: commas, quotes, blanks and non-ASCII text come back as they went in. A
// text that cannot make that trip is refused, never altered: saving text that is not valid
// UTF-8 or holds a NUL character (where every reader of the registry would end it), or reading
// a value that is not valid UTF-16 (a surrogate without its partner), is a SettingsError. A
// stored value reads as its text up to its first NUL, or all of it when it has none.
//
// Load. get() opens the section's key for reading only and never creates it: a missing key or
// value gives the default, and an empty REG_SZ gives "". A value of another type, or a key or
// value that exists but cannot be read, is a SettingsError naming the key path, the value and
// what was wrong, in the system's words where the system gave the reason.
//
// Save: value by value. save() writes its value at once, creating the keys as needed, and the
// registry writes each value whole or not at all. A failure is a SettingsError naming the key
// path, the value and the system's reason; the values saved before it stay saved. Running out of
// memory while reading or saving a value is such a failure too.
class RegistryStore : public SettingsStore {
 public:
  std::string get(const std::string& application, const std::string& section,
                  const std::string& key, const std::string& defaultValue) override;
  void save(const std::string& application, const std::string& section, const std::string& key,
            const std::string& value) override;
  void commit() override {}
  // The section's key, where its values are:
  // HKEY_CURRENT_USER\Software\VB and VBA Program Settings\Orlo\<section>.
  std::string location(const std::string& section) const override;
};

}  // namespace orlo
