#include "settings/ini_file_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/memory_monitor_view.h"
#include "settings/settings_sequences.h"
#include "settings_test_support.h"

namespace orlo {
namespace {

using testing_support::caseName;
using testing_support::getText;
using testing_support::messageOf;
using testing_support::PrintTo;
using testing_support::readBytes;
using testing_support::saveOne;
using testing_support::saveText;
using testing_support::ScopedEnvironment;
using testing_support::ScopedFileSizeLimit;
using testing_support::statOf;
using testing_support::TempFolder;
using testing_support::writeBytes;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A file as a user keeps it, holding all 22 keys; `changed` gives ip2 and ipen2 new values.
std::string handKeptFile(bool changed) {
  std::string file = "\xEF\xBB\xBF; Orlo, kept by hand\r\n[Network]\r\ngateway=10.0.0.254\r\n\r\n";
  file += "[Monitor]\r\n# the office\r\n";
  for (int slot = 0; slot < 10; ++slot) {
    const bool edited = changed && slot == 2;
    file += "ip" + std::to_string(slot) + "=" +
            (edited ? "10.0.0.22" : "10.0.0." + std::to_string(slot + 1)) + "\r\nipen" +
            std::to_string(slot) + "=" + (edited ? "0" : "1") + "\r\n";
  }
  return file +
         "refresh=5\r\nontop=0\r\nnote=unknown key, kept\r\n\r\n; after\r\n[Later]\r\nx=1\r\n";
}

TEST(IniFileStore, SavesOnlyTheChangedLinesOfAHandKeptFile) {
  const TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  writeBytes(path, handKeptFile(false));
  IniFileStore store(path);
  MemoryMonitorView view;
  loadSettings(view, store);
  EXPECT_EQ(view.addressText(2), "10.0.0.3");  // no CR in any value
  view.setAddressText(2, "10.0.0.22");
  view.setEnableValue(2, 0);
  saveSettings(view, store);
  EXPECT_EQ(readBytes(path), handKeptFile(true));
  EXPECT_EQ(folder.names(), std::vector<std::string>{"Orlo.conf"});
}

TEST(IniFileStore, TextsComeBackExactlyAndEmptyIsNotAbsent) {
  const TempFolder folder;
  const std::string path = folder.file("Orlo/Orlo.conf");
  MemoryMonitorView saved;
  saved.setAddressText(1, " 10.0.0.1, \"x\" \\ \n@é;");
  saved.setAddressText(2, std::string("\0x", 2));
  saved.setIntervalText("");
  IniFileStore writer(path);
  saveSettings(saved, writer);

  IniFileStore reader(path);
  MemoryMonitorView loaded;
  loadSettings(loaded, reader);
  for (int slot = 0; slot < 3; ++slot) {
    EXPECT_EQ(loaded.addressText(slot), saved.addressText(slot)) << slot;
  }
  EXPECT_EQ(loaded.intervalText(), "");  // not the default "5"
  EXPECT_EQ(getText(reader, "missing"), "<absent>");
}

TEST(IniFileStore, CommitEditsTheFileAsItIsNowAndLeavesAnUnchangedFileAlone) {
  const TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  writeBytes(path, "[Monitor]\nip0=a\n");
  const ScopedEnvironment noTemporaryFolder("TMPDIR", folder.file("missing"));
  IniFileStore store(path);
  ASSERT_EQ(getText(store, "ip0"), "a");
  writeBytes(path, "; added while running\n[Monitor]\nip0=b\n");
  saveText(store, "ip0", "c");
  store.commit();
  EXPECT_EQ(readBytes(path), "; added while running\n[Monitor]\nip0=c\n");
  EXPECT_EQ(getText(store, "ip0"), "c");

  const ino_t inode = statOf(path).st_ino;
  saveText(store, "ip0", "c");
  store.commit();
  EXPECT_EQ(statOf(path).st_ino, inode);
  EXPECT_EQ(folder.names(), std::vector<std::string>{"Orlo.conf"});
}

struct OwnerCase {
  const char* name;
  mode_t mode;
  bool otherOwner;  // owned by nobody:nogroup rather than by the process
};

class FileAttributes : public testing::TestWithParam<OwnerCase> {};

TEST_P(FileAttributes, AreKeptBySaving) {
  const TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  writeBytes(path, "[Monitor]\nip0=old\n");
  uid_t owner = ::geteuid();
  gid_t group = ::getegid();
  if (GetParam().otherOwner) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr) {
      GTEST_SKIP() << "giving a file to nobody needs root and a user nobody";
    }
    owner = nobody->pw_uid;
    group = nobody->pw_gid;
    ASSERT_EQ(::chown(path.c_str(), owner, group), 0);
  }
  ASSERT_EQ(::chmod(path.c_str(), GetParam().mode), 0);
  if (::access(path.c_str(), W_OK) != 0) {
    GTEST_SKIP() << "a read-only file stays unwritten for a user who is not root";
  }

  saveOne(path, "ip0", "new");
  EXPECT_EQ(readBytes(path), "[Monitor]\nip0=new\n");
  const struct stat after = statOf(path);
  EXPECT_EQ(after.st_mode & 07777, GetParam().mode);
  EXPECT_EQ(after.st_uid, owner);
  EXPECT_EQ(after.st_gid, group);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileAttributes,
                         testing::Values(OwnerCase{"ReadOnlyForAll", 0444, false},
                                         OwnerCase{"OwnerReadsOnly", 0400, false},
                                         OwnerCase{"GroupReads", 0640, false},
                                         OwnerCase{"OtherUsersReadOnlyFile", 0444, true},
                                         OwnerCase{"OtherUsersFile", 0604, true}),
                         caseName);

TEST(IniFileStore, WritesThroughASymbolicLinkToItsTarget) {
  const TempFolder folder;
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder.file("real"))));
  const std::string target = folder.file("real/settings.conf");
  writeBytes(target, "; mine\n[Monitor]\nip0=old\n");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  const std::string link = folder.file("Orlo.conf");
  ASSERT_EQ(::symlink("real/settings.conf", link.c_str()), 0);
  const std::string dangling = folder.file("new.conf");
  ASSERT_EQ(::symlink("real/created.conf", dangling.c_str()), 0);

  saveOne(link, "ip0", "new");
  saveOne(dangling, "ip0", "created");

  char pointsTo[256] = {};
  ASSERT_GT(::readlink(link.c_str(), pointsTo, sizeof pointsTo - 1), 0);
  EXPECT_STREQ(pointsTo, "real/settings.conf");
  EXPECT_EQ(readBytes(target), "; mine\n[Monitor]\nip0=new\n");
  EXPECT_EQ(statOf(target).st_mode & 07777, 0640u);
  EXPECT_EQ(readBytes(folder.file("real/created.conf")), "[Monitor]\nip0=created\n");
  EXPECT_EQ(statOf(folder.file("real/created.conf")).st_mode & 07777, 0600u);  // owner's alone
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"Orlo.conf", "new.conf", "real"}));
}

struct UnreadableCase {
  const char* name;
  std::function<void(const std::string& path)> make;
  std::string reason;
};

class UnreadableFile : public testing::TestWithParam<UnreadableCase> {};

TEST_P(UnreadableFile, FailsToLoadAndIsNeverWritten) {
  const TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  GetParam().make(path);
  const std::vector<std::string> names = folder.names();
  const std::string cannotRead = path + " cannot be read (" + GetParam().reason + ")";

  IniFileStore loaded(path);
  MemoryMonitorView view;
  const std::string loadMessage = messageOf([&] { loadSettings(view, loaded); });
  EXPECT_EQ(loadMessage, "The settings cannot be loaded: " + cannotRead + ".");
  EXPECT_TRUE(contains(messageOf([&] { saveSettings(view, loaded); }), "were not saved"));
  IniFileStore fresh(path);
  const std::string saveMessage = messageOf([&] { saveSettings(view, fresh); });
  EXPECT_TRUE(contains(saveMessage, "could not be saved: " + cannotRead)) << saveMessage;
  EXPECT_EQ(folder.names(), names);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnreadableFile,
    testing::Values(
        UnreadableCase{"Folder",
                       [](const std::string& path) {
                         ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path)));
                       },
                       "Is a directory"},
        UnreadableCase{"LinkLoop",
                       [](const std::string& path) {
                         ASSERT_EQ(::symlink((path + ".other").c_str(), path.c_str()), 0);
                         ASSERT_EQ(::symlink(path.c_str(), (path + ".other").c_str()), 0);
                       },
                       "Too many levels of symbolic links"},
        UnreadableCase{"Pipe",
                       [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
                       "it is not a regular file"}),
    caseName);

struct WriteFailureCase {
  const char* name;
  std::string file;     // relative to the folder
  bool diskFull;        // the save runs under a file size limit, as on a full disk
  std::string failure;  // '@' for the folder
};

class WriteFailure : public testing::TestWithParam<WriteFailureCase> {};

TEST_P(WriteFailure, GivesTheSystemsReasonAndLeavesTheOldFile) {
  const TempFolder folder;
  writeBytes(folder.file("Orlo.conf"), "; old\n[Monitor]\nip0=old\n");
  writeBytes(folder.file("Orlo"), "a file where a folder would be");
  const std::vector<std::string> names = folder.names();
  const std::string path = folder.file(GetParam().file);
  MemoryMonitorView view;
  view.setAddressText(0, std::string(256 * 1024, 'n'));

  IniFileStore store(path);
  std::string message;
  {
    std::optional<ScopedFileSizeLimit> limit;
    if (GetParam().diskFull) {
      limit.emplace(64 * 1024);
    }
    message = messageOf([&] { saveSettings(view, store); });
  }
  std::string failure = GetParam().failure;
  failure.replace(failure.find('@'), 1, folder.path());
  EXPECT_EQ(message, "The settings could not be saved: " + failure +
                         ". Nothing in the settings file has changed.");
  EXPECT_EQ(folder.names(), names);
  EXPECT_EQ(readBytes(folder.file("Orlo.conf")), "; old\n[Monitor]\nip0=old\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteFailure,
    testing::Values(WriteFailureCase{"DiskFull", "Orlo.conf", true,
                                     "@/Orlo.conf cannot be written (File too large)"},
                    WriteFailureCase{"FolderIsAFile", "Orlo/Orlo.conf", false,
                                     "the folder @/Orlo cannot be created (Not a directory)"}),
    caseName);

// The size of a file the process has open but not yet named, or nothing.
std::optional<off_t> unnamedFileSize(pid_t pid) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* dir = ::opendir(fds.c_str());
  if (dir == nullptr) {
    return std::nullopt;
  }
  std::optional<off_t> size;
  while (const dirent* entry = ::readdir(dir)) {
    struct stat info {};
    if (::stat((fds + "/" + entry->d_name).c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_nlink == 0) {
      size = info.st_size;
    }
  }
  ::closedir(dir);
  return size;
}

TEST(IniFileStore, ASaveKilledWhileWritingLeavesTheOldFileAndNothingElse) {
  const TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  const std::string old = "; old\n[Monitor]\nip0=old\n";
  writeBytes(path, old);
  const int unnamed = ::open(folder.path().c_str(), O_TMPFILE | O_RDWR, 0600);
  if (unnamed < 0) {
    GTEST_SKIP() << "this file system has no unnamed files (O_TMPFILE), so Qt names the new file";
  }
  ::close(unnamed);
  constexpr off_t kWritten = 256 << 10;  // killed once this much of the new file is written
  for (int round = 0; round < 3; ++round) {
    const pid_t saver = ::fork();
    ASSERT_GE(saver, 0);
    if (saver == 0) {
      try {
        saveOne(path, "ip0", std::string(16 << 20, 'n'));
      } catch (const SettingsError&) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    std::optional<off_t> written;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(written && *written >= kWritten) && std::chrono::steady_clock::now() < deadline &&
           ::waitpid(saver, nullptr, WNOHANG) == 0) {
      written = unnamedFileSize(saver);
    }
    ::kill(saver, SIGKILL);
    ::waitpid(saver, nullptr, 0);
    ASSERT_TRUE(written && *written >= kWritten) << "the save was not caught while writing";
    EXPECT_EQ(readBytes(path), old);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"Orlo.conf"});
  }
}

struct PathCase {
  const char* name;
  std::optional<std::string> configHome;  // XDG_CONFIG_HOME, or unset
  std::optional<std::string> home;        // HOME, or unset
  std::string expected;                   // "~" for the home folder in the password database
};

class DefaultFilePath : public testing::TestWithParam<PathCase> {};

TEST_P(DefaultFilePath, FollowsTheXdgRuleAndThePasswordDatabase) {
  const ScopedEnvironment home("HOME", GetParam().home);
  const ScopedEnvironment configHome("XDG_CONFIG_HOME", GetParam().configHome);
  std::string expected = GetParam().expected;
  if (expected.starts_with('~')) {
    const passwd* user = ::getpwuid(::getuid());
    ASSERT_NE(user, nullptr);
    expected.replace(0, 1, user->pw_dir);
  }
  EXPECT_EQ(IniFileStore::defaultFilePath(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DefaultFilePath,
    testing::Values(
        PathCase{"ConfigHome", "/srv/conf/", "/home/u", "/srv/conf/Orlo/Orlo.conf"},
        PathCase{"NoConfigHome", std::nullopt, "/home/u", "/home/u/.config/Orlo/Orlo.conf"},
        PathCase{"EmptyConfigHome", "", "/home/u", "/home/u/.config/Orlo/Orlo.conf"},
        PathCase{"RelativeConfigHome", "conf", "/home/u", "/home/u/.config/Orlo/Orlo.conf"},
        PathCase{"NeitherSet", std::nullopt, std::nullopt, "~/.config/Orlo/Orlo.conf"},
        PathCase{"EmptyHome", std::nullopt, "", "~/.config/Orlo/Orlo.conf"},
        PathCase{"RelativeHome", "", "home", "~/.config/Orlo/Orlo.conf"}),
    caseName);

TEST(IniFileStore, ServesOnlyItsOwnApplicationAndPlainNames) {
  const TempFolder folder;
  IniFileStore store(folder.file("Orlo.conf"));
  EXPECT_THROW(store.get("Other", kSettingsSection, "ip0", ""), std::invalid_argument);
  EXPECT_THROW(store.save(kSettingsApplication, "Mon/itor", "ip0", ""), std::invalid_argument);
  EXPECT_THROW(store.get(kSettingsApplication, kSettingsSection, "a\\b", ""),
               std::invalid_argument);
  EXPECT_EQ(store.location(kSettingsSection), folder.file("Orlo.conf"));
}

}  // namespace
}  // namespace orlo
