#include "settings/autostart_entry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "settings_test_support.h"

namespace orlo {
namespace {

using testing_support::readBytes;
using testing_support::ScopedEnvironment;
using testing_support::statOf;
using testing_support::TempFolder;
using testing_support::writeBytes;

struct ExecCase {
  std::string program;
  std::string exec;  // as the entry's line holds it
};

// Paths with each character that the Exec line quotes, escapes or doubles.
const std::vector<ExecCase>& execCases() {
  static const std::vector<ExecCase> cases{
      {"/usr/bin/orlo-monitor", "/usr/bin/orlo-monitor"},
      {"/opt/my apps/m", R"("/opt/my apps/m")"},
      {R"(/opt/it's "here"/m)", R"("/opt/it's \\"here\\"/m")"},
      {R"(/opt/a\b/m)", R"("/opt/a\\\\b/m")"},
      {"/opt/$HOME/`x`/m", R"("/opt/\\$HOME/\\`x\\`/m")"},
      {"/opt/100%/m", "/opt/100%%/m"},
      {"/opt/\xC3\xBCn\xC3\xAF/m", "/opt/\xC3\xBCn\xC3\xAF/m"},
  };
  return cases;
}

TEST(AutostartEntryText, ExecStartsTheProgramByItsPathWhateverThePathHolds) {
  for (const ExecCase& each : execCases()) {
    SCOPED_TRACE(each.program);
    const std::string text = autostartEntryText(each.program);
    EXPECT_NE(text.find("\nExec=" + each.exec + "\n"), std::string::npos) << text;
    EXPECT_EQ(programStartedBy(text), each.program);
  }
  for (const char* unnameable : {"/opt/\xFF/m", "/opt/a\nb/m"}) {
    EXPECT_THROW(autostartEntryText(unnameable), LoginStartError) << unnameable;
  }
}

TEST(AutostartEntryText, DesktopFileValidateAcceptsEachEntry) {
  if (std::system("command -v desktop-file-validate >/dev/null") != 0) {
    GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) is not installed";
  }
  const TempFolder folder;
  const std::string path = folder.file("orlo-monitor.desktop");
  for (const ExecCase& each : execCases()) {
    writeBytes(path, autostartEntryText(each.program));
    FILE* validate = ::popen(("desktop-file-validate " + path + " 2>&1").c_str(), "r");
    ASSERT_NE(validate, nullptr);
    std::string said;
    for (int character = 0; (character = std::fgetc(validate)) != EOF;) {
      said += static_cast<char>(character);
    }
    EXPECT_EQ(::pclose(validate), 0) << each.program << ": " << said;
    EXPECT_EQ(said, "") << each.program;
  }
}

TEST(ProgramStartedBy, TheFirstWordOfTheExecOfTheDesktopEntryGroup) {
  const struct {
    const char* text;
    std::optional<std::string> program;
  } cases[] = {
      {"[Desktop Entry]\nName=x\nExec=/usr/bin/orlo-monitor --quiet\n", "/usr/bin/orlo-monitor"},
      {"[Desktop Entry]\r\nExec = \"/opt/my apps/m\" %U\r\n", "/opt/my apps/m"},
      {"[Desktop Entry]\nExec=/usr/bin/other\n", "/usr/bin/other"},
      {"[Desktop Action x]\nExec=/usr/bin/orlo-monitor\n[Desktop Entry]\nName=x\n", std::nullopt},
      {"[Desktop Entry]\nExec[de]=/usr/bin/orlo-monitor\n# Exec=/usr/bin/orlo-monitor\n",
       std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& each : cases) {
    EXPECT_EQ(programStartedBy(each.text), each.program) << each.text;
  }
}

// What each state of the file lets the menu's choice do: write ours, remove ours, and leave
// another program's entry, or a file that cannot be read or written, as it is.
TEST(AutostartEntry, AddsAndRemovesOnlyItsOwnEntry) {
  const TempFolder folder;
  const std::string program = "/opt/my apps/orlo-monitor";
  const std::string path = folder.file("config/autostart/orlo-monitor.desktop");
  AutostartEntry entry(path, program);
  EXPECT_EQ(entry.state(), LoginStart::State::Absent);
  entry.remove();  // nothing to remove
  entry.add();
  EXPECT_EQ(entry.state(), LoginStart::State::ThisProgram);
  EXPECT_EQ(readBytes(path), autostartEntryText(program));
  EXPECT_EQ(statOf(path).st_mode & 07777, 0600u);
  EXPECT_EQ(statOf(folder.file("config/autostart")).st_mode & 07777, 0700u);
  EXPECT_EQ(statOf(folder.file("config")).st_mode & 07777, 0700u);
  entry.remove();
  EXPECT_EQ(entry.state(), LoginStart::State::Absent);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"config"}));

  const std::string another = "[Desktop Entry]\nType=Application\nName=x\nExec=/usr/bin/x\n";
  writeBytes(path, another);
  EXPECT_EQ(AutostartEntry(path, "/usr/bin/x").state(), LoginStart::State::ThisProgram);
  EXPECT_EQ(entry.state(), LoginStart::State::Other);
  for (void (AutostartEntry::*change)() : {&AutostartEntry::add, &AutostartEntry::remove}) {
    try {
      (entry.*change)();
      ADD_FAILURE() << "another program's entry was changed";
    } catch (const LoginStartError& failure) {
      EXPECT_EQ(std::string(failure.what()),
                path + " starts another program, so it was left as it is.");
    }
  }
  EXPECT_EQ(readBytes(path), another);

  // A folder in the entry's place cannot be read; a file in its folder's place cannot be written.
  ASSERT_EQ(::unlink(path.c_str()), 0);
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
  EXPECT_EQ(entry.state(), LoginStart::State::Other);
  try {
    entry.add();
    ADD_FAILURE() << "a folder was taken for an entry";
  } catch (const LoginStartError& failure) {
    EXPECT_EQ(std::string(failure.what()),
              path + " cannot be read (Is a directory), so it was left as it is.");
  }
  const std::string notAFolder = path + "/x";
  writeBytes(notAFolder, "");
  try {
    AutostartEntry(notAFolder + "/orlo-monitor.desktop", program).add();
    ADD_FAILURE() << "an entry was written into a file";
  } catch (const LoginStartError& failure) {
    EXPECT_EQ(std::string(failure.what()),
              "the folder " + notAFolder +
                  " cannot be created (Not a directory), so nothing was changed.");
  }
}

TEST(AutostartEntry, LivesInTheAutostartFolderOfTheConfigurationFolder) {
  const ScopedEnvironment configHome("XDG_CONFIG_HOME", "/home/u/cfg");
  EXPECT_EQ(AutostartEntry::defaultFilePath(), "/home/u/cfg/autostart/orlo-monitor.desktop");
}

}  // namespace
}  // namespace orlo
