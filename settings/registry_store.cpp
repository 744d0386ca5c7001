#include "settings/registry_store.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <type_traits>

#include "core/windows_text.h"
#include "settings/message_text.h"

namespace orlo {
namespace {

constexpr char kRootName[] = "HKEY_CURRENT_USER";
constexpr char kSettingsArea[] = "Software\\VB and VBA Program Settings";
// A value that keeps changing size between the reads of it is given up after this many.
constexpr int kReadAttempts = 4;

struct KeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

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

std::string typeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
      return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK:
      return "REG_LINK";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return "of type " + std::to_string(type);
  }
}

// The value's UTF-16 text up to its first NUL, or nothing when it is absent.
std::optional<std::wstring> readText(const ValueAddress& address) {
  HKEY opened = nullptr;
  const LONG openResult =
      ::RegOpenKeyExW(HKEY_CURRENT_USER, address.keyPath.c_str(), 0, KEY_QUERY_VALUE, &opened);
  if (openResult == ERROR_FILE_NOT_FOUND) {
    return std::nullopt;
  }
  if (openResult != ERROR_SUCCESS) {
    address.fail("cannot be read, because its key cannot be opened: " +
                 windows::systemMessage(static_cast<DWORD>(openResult)));
  }
  const UniqueKey key(opened);
  std::wstring text(256, L'\0');
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const LONG result = ::RegQueryValueExW(key.get(), address.valueName.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(text.data()), &size);
    if (result == ERROR_MORE_DATA) {
      text.resize(size / sizeof(wchar_t) + 1);
      continue;
    }
    if (result == ERROR_FILE_NOT_FOUND) {
      return std::nullopt;
    }
    if (result != ERROR_SUCCESS) {
      address.fail("cannot be read: " + windows::systemMessage(static_cast<DWORD>(result)));
    }
    if (type != REG_SZ) {
      address.fail(
          "is a " + typeName(type) +
          " value, not the text (REG_SZ) the monitor keeps. Delete it to use the default.");
    }
    text.resize(size / sizeof(wchar_t));
    text.resize(std::min(text.find(L'\0'), text.size()));
    return text;
  }
  address.fail("cannot be read: it kept changing while it was read.");
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
  HKEY created = nullptr;
  const LONG createResult =
      ::RegCreateKeyExW(HKEY_CURRENT_USER, address.keyPath.c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &created, nullptr);
  if (createResult != ERROR_SUCCESS) {
    address.fail("cannot be saved, because its key cannot be created or opened: " +
                 windows::systemMessage(static_cast<DWORD>(createResult)));
  }
  const UniqueKey keyHandle(created);
  const auto bytes = static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t));
  const LONG result = ::RegSetValueExW(keyHandle.get(), address.valueName.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(text->c_str()), bytes);
  if (result != ERROR_SUCCESS) {
    address.fail("cannot be saved: " + windows::systemMessage(static_cast<DWORD>(result)));
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
