// The registry store in the registry of the Wine prefix the tests run in, through the real load
// and save sequences, cross-checked with Wine's own reg tool, and the value under the Run key that
// starts the program at login. Every case starts and ends with no Orlo key and no such value.

#include "settings/registry_store.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "core/memory_monitor_view.h"
#include "core/windows_text.h"
#include "settings/login_start_windows.h"
#include "settings/settings_sequences.h"

namespace orlo {
namespace {

constexpr wchar_t kApplicationKey[] = L"Software\\VB and VBA Program Settings\\Orlo";
constexpr wchar_t kMonitorKey[] = L"Software\\VB and VBA Program Settings\\Orlo\\Monitor";
constexpr char kShownMonitorKey[] =
    "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Orlo\\Monitor";
constexpr char kAbsent[] = "<absent>";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"Orlo - IP Monitor";

// Runs Wine's reg tool with the arguments and returns its exit status.
DWORD runReg(const std::wstring& arguments) {
  std::wstring commandLine = L"reg.exe " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    ADD_FAILURE() << "reg.exe does not start: " << windows::systemMessage(::GetLastError());
    return ~0UL;
  }
  DWORD status = ~0UL;
  EXPECT_EQ(::WaitForSingleObject(process.hProcess, 60'000), WAIT_OBJECT_0) << "reg.exe hangs";
  ::GetExitCodeProcess(process.hProcess, &status);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return status;
}

// The Monitor key as `reg export` writes it (UTF-16 in the file), in UTF-8.
std::string regExport() {
  wchar_t folder[MAX_PATH];
  wchar_t file[MAX_PATH];
  EXPECT_NE(::GetTempPathW(MAX_PATH, folder), 0u);
  EXPECT_NE(::GetTempFileNameW(folder, L"reg", 0, file), 0u);
  EXPECT_EQ(runReg(L"export \"HKCU\\" + std::wstring(kMonitorKey) + L"\" \"" + file + L"\" /y"),
            0u);
  std::ifstream in(file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  in.close();
  ::DeleteFileW(file);
  std::wstring text(bytes.size() / 2, L'\0');
  std::copy_n(bytes.data(), text.size() * 2, reinterpret_cast<char*>(text.data()));
  return windows::utf8FromUtf16(text).value_or("<not UTF-16>");
}

// A REG_SZ value's line in a .reg file.
std::string regLine(const std::string& name, const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    escaped += (c == '\\' || c == '"') ? std::string{'\\', c} : std::string{c};
  }
  return "\"" + name + "\"=\"" + escaped + "\"\r\n";
}

bool keyExists(const wchar_t* path) {
  HKEY key = nullptr;
  const LONG result = ::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key);
  ::RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

// Sets the key's access list: empty, so that nobody may open it, or none, so that everybody may.
// Its owner may always change it.
void lockKey(const wchar_t* path, bool locked) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, WRITE_DAC, &key), ERROR_SUCCESS);
  ACL empty;
  ::InitializeAcl(&empty, sizeof empty, ACL_REVISION);
  SECURITY_DESCRIPTOR security;
  ::InitializeSecurityDescriptor(&security, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&security, TRUE, locked ? &empty : nullptr, FALSE);
  EXPECT_EQ(::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &security), ERROR_SUCCESS);
  ::RegCloseKey(key);
}

class RegistryStoreTest : public testing::Test {
 protected:
  void SetUp() override { removeOrloKey(); }
  void TearDown() override {
    if (locked_) {
      lockKey(kMonitorKey, false);
    }
    removeOrloKey();
  }
  static void removeOrloKey() {
    const LONG result = ::RegDeleteTreeW(HKEY_CURRENT_USER, kApplicationKey);
    ASSERT_TRUE(result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) << result;
    ASSERT_FALSE(keyExists(kApplicationKey));
  }
  std::string get(const std::string& key) {
    return store_.get(kSettingsApplication, kSettingsSection, key, kAbsent);
  }
  // The message of the SettingsError the call throws.
  template <typename Call>
  static std::string failureOf(Call call) {
    try {
      call();
    } catch (const SettingsError& error) {
      return error.what();
    }
    ADD_FAILURE() << "no SettingsError";
    return "";
  }

  RegistryStore store_;
  bool locked_ = false;
};

// The empty interval text shows that an empty value is not an absent one, which reads as "5".
TEST_F(RegistryStoreTest, HostileTextsMakeTheRoundTripAndRegReadsThemExactly) {
  const char* const texts[kSlotCount] = {
      "10.0.0.1, 10.0.0.2",
      "\"10.0.0.1\"",
      "  10.0.0.1  ",
      "back\\slash",
      "tab\there",
      "semi;colon=%PATH%",
      "",
      "[Monitor]",
      " 7, \"x\" ",
      "\xC3\xA9 \xE2\x82\xAC \xE6\xBC\xA2 \xF0\x9F\x98\x80"};  // é € 漢 and an emoji
  MemoryMonitorView saved;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    saved.setAddressText(slot, texts[slot]);
    saved.setEnableValue(slot, static_cast<std::int16_t>(slot % 3));
  }
  saved.setIntervalText("");
  saveSettings(saved, store_);

  MemoryMonitorView loaded;
  loadSettings(loaded, store_);
  const std::string exported = regExport();
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::string index = std::to_string(slot);
    EXPECT_EQ(loaded.addressText(slot), texts[slot]);
    EXPECT_EQ(loaded.enableValue(slot), slot % 3 == 1 ? 1 : 0) << slot;
    EXPECT_NE(exported.find(regLine("ip" + index, texts[slot])), std::string::npos) << exported;
    EXPECT_NE(exported.find(regLine("ipen" + index, std::to_string(slot % 3))), std::string::npos);
  }
  EXPECT_EQ(loaded.intervalText(), "");
  EXPECT_EQ(loaded.onTopValue(), 0);
  EXPECT_NE(exported.find(regLine("refresh", "")), std::string::npos);
  EXPECT_NE(exported.find(regLine("ontop", "0")), std::string::npos);
}

TEST_F(RegistryStoreTest, TextThatRegWroteIsReadAsItStands) {
  ASSERT_EQ(runReg(L"add \"HKCU\\" + std::wstring(kMonitorKey) +
                   L"\" /v ip0 /t REG_SZ /d \"Z\u00fcrich, \\\"x\\\"\" /f"),
            0u);
  EXPECT_EQ(get("ip0"), "Z\xC3\xBCrich, \"x\"");
}

TEST_F(RegistryStoreTest, LoadingAnEmptyRegistryCreatesNothing) {
  MemoryMonitorView view;
  loadSettings(view, store_);
  EXPECT_EQ(view.intervalText(), "5");
  EXPECT_EQ(view.onTopValue(), 1);
  EXPECT_FALSE(keyExists(kApplicationKey));
}

TEST_F(RegistryStoreTest, ValueOfAnotherTypeFailsTheLoadNamingKeyValueAndTypeAndWritesNothing) {
  ASSERT_EQ(
      runReg(L"add \"HKCU\\" + std::wstring(kMonitorKey) + L"\" /v ontop /t REG_DWORD /d 1 /f"),
      0u);
  const std::string before = regExport();
  MemoryMonitorView view;
  const std::string message = failureOf([&] { loadSettings(view, store_); });
  EXPECT_NE(message.find(kShownMonitorKey), std::string::npos) << message;
  EXPECT_NE(message.find("\"ontop\""), std::string::npos) << message;
  EXPECT_NE(message.find("REG_DWORD"), std::string::npos) << message;
  EXPECT_EQ(regExport(), before);
}

TEST_F(RegistryStoreTest, UnusableOnTopValueIsNamedInTheKeyThatHoldsIt) {
  store_.save(kSettingsApplication, kSettingsSection, "ontop", "3");
  MemoryMonitorView view;
  const std::string message = failureOf([&] { loadSettings(view, store_); });
  EXPECT_NE(message.find(std::string(kShownMonitorKey) + " holds \"3\""), std::string::npos)
      << message;
}

TEST_F(RegistryStoreTest, KeyThatCannotBeOpenedFailsLoadAndSaveWithTheSystemsReason) {
  store_.save(kSettingsApplication, kSettingsSection, "ip0", "10.0.0.1");
  lockKey(kMonitorKey, true);
  locked_ = true;
  const std::string denied = windows::systemMessage(ERROR_ACCESS_DENIED);
  for (const std::string& message : {failureOf([&] { get("ip0"); }), failureOf([&] {
                                       store_.save(kSettingsApplication, kSettingsSection, "ip1",
                                                   "10.0.0.2");
                                     })}) {
    EXPECT_NE(message.find(kShownMonitorKey), std::string::npos) << message;
    EXPECT_NE(message.find(denied), std::string::npos) << message;
  }
}

TEST_F(RegistryStoreTest, SaveGoesValueByValueAndStopsAtTextItCannotKeep) {
  MemoryMonitorView view;
  view.setAddressText(2, "10.0.0.\xFF");
  const std::string message = failureOf([&] { saveSettings(view, store_); });
  EXPECT_NE(message.find("\"ip2\""), std::string::npos) << message;
  EXPECT_NE(message.find("not valid UTF-8"), std::string::npos) << message;
  for (const char* written : {"ip0", "ipen0", "ip1", "ipen1"}) {
    EXPECT_NE(get(written), kAbsent) << written;
  }
  for (const char* unwritten : {"ip2", "ipen2", "refresh", "ontop"}) {
    EXPECT_EQ(get(unwritten), kAbsent) << unwritten;
  }
}

TEST_F(RegistryStoreTest, StoredTextThatIsNotUtf16FailsTheLoad) {
  store_.save(kSettingsApplication, kSettingsSection, "ip0", "");
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kMonitorKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  const wchar_t halfPair[] = {L'1', 0xD800, L'\0'};
  ::RegSetValueExW(key, L"ip0", 0, REG_SZ, reinterpret_cast<const BYTE*>(halfPair),
                   sizeof halfPair);
  ::RegCloseKey(key);
  const std::string message = failureOf([&] { get("ip0"); });
  EXPECT_NE(message.find("\"ip0\""), std::string::npos) << message;
  EXPECT_NE(message.find("surrogate"), std::string::npos) << message;
}

// The Run value as it stands: its type and its text, or nothing.
std::optional<std::pair<DWORD, std::wstring>> runValue() {
  wchar_t text[512] = {};
  DWORD type = REG_NONE;
  DWORD size = sizeof text - sizeof(wchar_t);
  if (::RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, RRF_RT_ANY | RRF_NOEXPAND, &type, text,
                     &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::pair{type, std::wstring(type == REG_SZ ? text : L"")};
}

// Only a value that names this program's path alone, quoted or not, in any case, is this
// program's; add() refuses to replace any other, saying whose it is, and remove() refuses to
// delete it.
TEST(RunKeyLoginStartTest, OnlyAValueNamingThisProgramIsTakenAddedOrRemoved) {
  using State = LoginStart::State;
  const std::wstring program = L"C:\\Program Files\\Orlo\\monitor.exe";
  const std::pair<DWORD, std::wstring> written{REG_SZ, L"\"" + program + L"\""};
  const struct {
    const char* name;
    DWORD type;  // REG_NONE: absent
    std::wstring text;
    State state;
    const char* refusal;  // what add() says of the value it leaves
  } cases[] = {
      {"absent", REG_NONE, L"", State::Absent, ""},
      {"quoted, in another case", REG_SZ, L"\"c:\\PROGRAM files\\orlo\\Monitor.EXE\"",
       State::ThisProgram, ""},
      {"unquoted", REG_SZ, program, State::ThisProgram, ""},
      {"another program", REG_SZ, L"\"C:\\Tools\\monitor.exe\"", State::Other,
       "was left as it is: \"C:\\Tools\\monitor.exe\". Nothing was changed."},
      {"with an argument", REG_SZ, written.second + L" /min", State::Other,
       "monitor.exe\" /min. Nothing"},
      {"a REG_DWORD", REG_DWORD, L"\1", State::Other, "is a REG_DWORD value"},  // 4 bytes
  };
  RunKeyLoginStart start(program);
  const auto failureOf = [&start] {
    try {
      start.add();
    } catch (const LoginStartError& error) {
      return std::string(error.what());
    }
    return std::string("no LoginStartError");
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValue);
    if (each.type != REG_NONE) {
      ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, each.type,
                                  each.text.c_str(), (each.text.size() + 1) * sizeof(wchar_t)),
                ERROR_SUCCESS);
    }
    const auto before = runValue();
    EXPECT_EQ(start.state(), each.state);
    if (each.state == State::Other) {
      const std::string message = failureOf();
      EXPECT_NE(message.find("The value \"Orlo - IP Monitor\" under HKEY_CURRENT_USER\\Software\\"
                             "Microsoft\\Windows\\CurrentVersion\\Run "),
                std::string::npos)
          << message;
      EXPECT_NE(message.find(each.refusal), std::string::npos) << message;
      EXPECT_THROW(start.remove(), LoginStartError);
      EXPECT_EQ(runValue(), before);
      continue;
    }
    start.add();
    EXPECT_EQ(runValue(), written);
    EXPECT_EQ(start.state(), State::ThisProgram);
    start.remove();
    EXPECT_EQ(runValue(), std::nullopt);
  }
  // A key that cannot be opened: nothing is taken as this program's, and a change says why.
  lockKey(kRunKey, true);
  EXPECT_EQ(start.state(), State::Other);
  EXPECT_NE(
      failureOf().find(windows::systemMessage(ERROR_ACCESS_DENIED) + ". Nothing was changed."),
      std::string::npos);
  lockKey(kRunKey, false);
}

}  // namespace
}  // namespace orlo
