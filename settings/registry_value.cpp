#include "settings/registry_value.h"

#include <algorithm>
#include <memory>
#include <type_traits>

#include "core/windows_text.h"

namespace orlo::registry {
namespace {

// A value that keeps changing size between the reads of it is given up after this many.
constexpr int kReadAttempts = 4;

struct KeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

[[noreturn]] void fail(const std::string& what, LONG result) {
  throw RegistryError(what + ": " + windows::systemMessage(static_cast<DWORD>(result)));
}

}  // namespace

std::optional<StoredValue> readValue(const std::wstring& keyPath, const std::wstring& name) {
  HKEY opened = nullptr;
  const LONG openResult =
      ::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &opened);
  if (openResult == ERROR_FILE_NOT_FOUND) {
    return std::nullopt;
  }
  if (openResult != ERROR_SUCCESS) {
    fail("cannot be read, because its key cannot be opened", openResult);
  }
  const UniqueKey key(opened);
  std::wstring text(256, L'\0');
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const LONG result = ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(text.data()), &size);
    if (result == ERROR_MORE_DATA) {
      text.resize(size / sizeof(wchar_t) + 1);
      continue;
    }
    if (result == ERROR_FILE_NOT_FOUND) {
      return std::nullopt;
    }
    if (result != ERROR_SUCCESS) {
      fail("cannot be read", result);
    }
    if (type != REG_SZ) {
      return StoredValue{type, {}};
    }
    text.resize(size / sizeof(wchar_t));
    text.resize(std::min(text.find(L'\0'), text.size()));
    return StoredValue{type, std::move(text)};
  }
  throw RegistryError("cannot be read: it kept changing while it was read.");
}

void writeText(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text) {
  HKEY created = nullptr;
  const LONG createResult =
      ::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &created, nullptr);
  if (createResult != ERROR_SUCCESS) {
    fail("cannot be saved, because its key cannot be created or opened", createResult);
  }
  const UniqueKey key(created);
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  const LONG result = ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(text.c_str()), bytes);
  if (result != ERROR_SUCCESS) {
    fail("cannot be saved", result);
  }
}

void deleteValue(const std::wstring& keyPath, const std::wstring& name) {
  HKEY opened = nullptr;
  const LONG openResult =
      ::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_SET_VALUE, &opened);
  if (openResult == ERROR_FILE_NOT_FOUND) {
    return;
  }
  if (openResult != ERROR_SUCCESS) {
    fail("cannot be deleted, because its key cannot be opened", openResult);
  }
  const UniqueKey key(opened);
  const LONG result = ::RegDeleteValueW(key.get(), name.c_str());
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
    fail("cannot be deleted", result);
  }
}

std::string typeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
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

}  // namespace orlo::registry
