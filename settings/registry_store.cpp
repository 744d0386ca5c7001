#include "settings/registry_store.h"

#include <windows.h>

#include <new>
#include <optional>
#include <stdexcept>

#include "core/windows_text.h"
#include "settings/message_text.h"
#include "settings/registry_value.h"

namespace orlo {
namespace {

constexpr char kRootName[] = "HKEY_CURRENT_USER";
constexpr char kSettingsArea[] = "Software\\VB and VBA Program Settings";

// A section's key as a message names it, from HKEY_CURRENT_USER on.
std::string shownKeyPath(const std::string& section) {
  return std::string(kRootName) + "\\" + kSettingsArea + "\\" + kSettingsApplication + "\\" +
         section;
}

std::wstring wideName(const std::string& name, const char* what) {
  std::optional<std::wstring> wide = windows::utf16FromUtf8(name);
  if (!wide) {
    throw std::invalid_argument(std::string("The settings ") + what + " " + quotedForMessage(name) +
                                " is not valid UTF-8.");
  }
  return std::move(*wide);
}

// One value in the registry, by the names the API takes and the names a message gives.
struct ValueAddress {
  std::wstring keyPath;  // under HKEY_CURRENT_USER
  std::wstring valueName;
  std::string shownKey;    // the whole path, from HKEY_CURRENT_USER on
  std::string shownValue;  // quoted

  ValueAddress(const std::string& application, const std::string& section, const std::string& key) {
    if (application != kSettingsApplication) {
      throw std::invalid_argument("The registry store keeps the settings of " +
                                  std::string(kSettingsApplication) + " only, not of " +
                                  quotedForMessage(application) + ".");
    }
    if (section.empty() || section.find('\\') != std::string::npos) {
      throw std::invalid_argument("A settings section must be a key name, not " +
                                  quotedForMessage(section) + ".");
    }
    if (key.empty()) {
      throw std::invalid_argument("A setting needs a name.");
    }
    const std::string applicationPath = std::string(kSettingsArea) + "\\" + application + "\\";
    keyPath = wideName(applicationPath, "application") + wideName(section, "section");
    valueName = wideName(key, "key");
    shownKey = shownKeyPath(section);
    shownValue = quotedForMessage(key);
  }

  [[noreturn]] void fail(const std::string& what) const {
    throw SettingsError("The setting " + shownValue + " under " + shownKey + " " + what);
  }
};

// The value's UTF-16 text up to its first NUL, or nothing when it is absent.
std::optional<std::wstring> readText(const ValueAddress& address) {
  std::optional<registry::StoredValue> stored;
  try {
    stored = registry::readValue(address.keyPath, address.valueName);
  } catch (const registry::RegistryError& failure) {
    address.fail(failure.what());
  }
  if (!stored) {
    return std::nullopt;
  }
  if (stored->type != REG_SZ) {
    address.fail("is a " + registry::typeName(stored->type) +
                 " value, not the text (REG_SZ) the monitor keeps. Delete it to use the default.");
  }
  return std::move(stored->text);
}

// Writes the value at once, whole or not at all.
void saveValue(const ValueAddress& address, const std::string& value) {
  if (value.find('\0') != std::string::npos) {
    address.fail("cannot be saved: its text holds a NUL character, where it would end.");
  }
  const std::optional<std::wstring> text = windows::utf16FromUtf8(value);
  if (!text) {
    address.fail("cannot be saved: its text is not valid UTF-8.");
  }
  try {
    registry::writeText(address.keyPath, address.valueName, *text);
  } catch (const registry::RegistryError& failure) {
    address.fail(failure.what());
  }
}

}  // namespace

std::string RegistryStore::get(const std::string& application, const std::string& section,
                               const std::string& key, const std::string& defaultValue) {
  try {
    const ValueAddress address(application, section, key);
    const std::optional<std::wstring> text = readText(address);
    if (!text) {
      return defaultValue;
    }
    std::optional<std::string> utf8 = windows::utf8FromUtf16(*text);
    if (!utf8) {
      address.fail("is not valid text: it holds half of a UTF-16 surrogate pair.");
    }
    return std::move(*utf8);
  } catch (const std::bad_alloc&) {
    throw SettingsError("The settings cannot be loaded: out of memory while reading " +
                        quotedForMessage(key) + " under " + location(section) + ".");
  }
}

void RegistryStore::save(const std::string& application, const std::string& section,
                         const std::string& key, const std::string& value) {
  try {
    saveValue(ValueAddress(application, section, key), value);
  } catch (const std::bad_alloc&) {
    throw SettingsError("The settings could not be saved: out of memory while writing " +
                        quotedForMessage(key) + " under " + location(section) + ".");
  }
}

std::string RegistryStore::location(const std::string& section) const {
  return shownKeyPath(section);
}

}  // namespace orlo
