// The settings file store on real files, for what lies around the bytes: extended attributes and
// the ACL, folders whose names are not UTF-8, the size limit, and the folder a failed save names.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>

#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "core/unique_fd.h"
#include "settings/ini_file_store.h"
#include "settings_test_support.h"

namespace orlo {
namespace {

using namespace std::string_literals;
using testing_support::caseName;
using testing_support::getText;
using testing_support::messageOf;
using testing_support::PrintTo;
using testing_support::readBytes;
using testing_support::saveOne;
using testing_support::saveText;
using testing_support::ScopedEnvironment;
using testing_support::statOf;
using testing_support::TempFolder;
using testing_support::writeBytes;

std::string notSaved(const std::string& why) {
  return "The settings could not be saved: " + why + ". Nothing in the settings file has changed.";
}

TEST(IniFileStoreMetadata, ASaveKeepsTheAclWithItsMaskAndTheExtendedAttributes) {
  const TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  writeBytes(path, "[Monitor]\nip0=old\n");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  // As the kernel keeps an ACL: version 2, then per entry its tag, permissions and id (none but
  // for a named user), little-endian. The owner rw, the user nobody (65534) rw, the owning group
  // r only, the mask rw, others nothing.
  const std::map<std::string, std::string> attributes = {
      {"user.orlo.note", "kept by hand"},
      {"system.posix_acl_access",
       "\x02\0\0\0\x01\0\x06\0\xff\xff\xff\xff\x02\0\x06\0\xfe\xff\0\0"
       "\x04\0\x04\0\xff\xff\xff\xff\x10\0\x06\0\xff\xff\xff\xff\x20\0\0\0\xff\xff\xff\xff"s}};
  for (const auto& [name, value] : attributes) {
    if (::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) {
      GTEST_SKIP() << folder.path() << " keeps no " << name << " ("
                   << std::generic_category().message(errno)
                   << "); set TMPDIR to a folder on ext4, xfs or btrfs to run this";
    }
  }
  // The group's bits of the mode are the mask now: rw, though the owning group may only read.
  ASSERT_EQ(statOf(path).st_mode & 07777, 0660u);

  saveOne(path, "ip0", "new");
  EXPECT_EQ(readBytes(path), "[Monitor]\nip0=new\n");
  EXPECT_EQ(statOf(path).st_mode & 07777, 0660u);
  for (const auto& [name, value] : attributes) {
    std::string kept(256, '\0');
    kept.resize(std::max<ssize_t>(::getxattr(path.c_str(), name.c_str(), kept.data(), 256), 0));
    EXPECT_EQ(kept, value) << name;
  }
}

struct FolderNameCase {
  const char* name;
  const char* variable;  // XDG_CONFIG_HOME or HOME names the folder
  std::string below;     // where the file is in it
};

class Latin1Folder : public testing::TestWithParam<FolderNameCase> {};

TEST_P(Latin1Folder, HoldsTheFileThatIsReadAndWrittenInPlace) {
  const TempFolder folder;
  const std::string latin1 = folder.file("jos\xE9");
  const ScopedEnvironment configHome("XDG_CONFIG_HOME", std::nullopt);
  const ScopedEnvironment chosen(GetParam().variable, latin1);
  const std::string path = latin1 + "/" + GetParam().below;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  writeBytes(path, "[Monitor]\nip0=10.0.0.1\n");

  IniFileStore store(IniFileStore::defaultFilePath());
  EXPECT_EQ(store.location(kSettingsSection), folder.path() + "/jos\\xE9/" + GetParam().below);
  EXPECT_EQ(getText(store, "ip0"), "10.0.0.1");
  saveText(store, "ip0", "10.0.0.2");
  store.commit();
  EXPECT_EQ(readBytes(path), "[Monitor]\nip0=10.0.0.2\n");
  EXPECT_EQ(folder.names(), std::vector<std::string>{"jos\xE9"});
}

INSTANTIATE_TEST_SUITE_P(Cases, Latin1Folder,
                         testing::Values(FolderNameCase{"ConfigHome", "XDG_CONFIG_HOME",
                                                        "Orlo/Orlo.conf"},
                                         FolderNameCase{"Home", "HOME", ".config/Orlo/Orlo.conf"}),
                         caseName);

// The file grows, sparse, after one store has read it and before another does.
TEST(IniFileStoreMetadata, AFileOver16MiBIsRefusedUnreadByLoadAndSave) {
  for (const off_t size : {(off_t{16} << 20) + 1, off_t{1} << 40}) {
    const TempFolder folder;
    const std::string path = folder.file("Orlo.conf");
    writeBytes(path, "[Monitor]\nip0=a\n");
    IniFileStore saver(path);
    ASSERT_EQ(getText(saver, "ip0"), "a");
    ASSERT_EQ(::truncate(path.c_str(), size), 0);
    const std::string refusal = path + " cannot be read (it is " + std::to_string(size) +
                                " bytes long; the monitor reads files of at most 16 MiB)";

    IniFileStore loader(path);
    EXPECT_EQ(messageOf([&] { getText(loader, "ip0"); }),
              "The settings cannot be loaded: " + refusal + ".");
    saveText(saver, "ip0", "b");
    EXPECT_EQ(messageOf([&] { saver.commit(); }), notSaved(refusal));
    EXPECT_EQ(statOf(path).st_size, size);
  }
}

// The immutable flag stops root too; false where the process may not set it.
bool setImmutable(const std::string& folder, bool immutable) {
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  int flags = 0;
  if (::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) {
    return false;
  }
  flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  return ::ioctl(fd.get(), FS_IOC_SETFLAGS, &flags) == 0;
}

TEST(IniFileStoreMetadata, AFolderThatCannotBeWrittenIsNamedAsTheFolder) {
  const TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  writeBytes(path, "[Monitor]\nip0=old\n");
  if (!setImmutable(folder.path(), true)) {
    ::chmod(folder.path().c_str(), 0555);
  }
  const bool locked = ::access(folder.path().c_str(), W_OK) != 0;
  const std::string refusal = std::generic_category().message(errno);
  const std::string message = messageOf([&] { saveOne(path, "ip0", "new"); });
  setImmutable(folder.path(), false);
  ::chmod(folder.path().c_str(), 0700);
  if (!locked) {
    GTEST_SKIP() << "this process writes into read-only folders but may not make one immutable: "
                    "run it as root on ext4, xfs or btrfs";
  }
  EXPECT_EQ(message,
            notSaved("the folder " + folder.path() + " cannot be written (" + refusal + ")"));
  EXPECT_EQ(readBytes(path), "[Monitor]\nip0=old\n");
  EXPECT_EQ(folder.names(), std::vector<std::string>{"Orlo.conf"});
}

TEST(IniFileStoreMetadata, ALinkIntoAMissingFolderNamesThatFolderAndMakesNone) {
  const TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  ASSERT_EQ(::symlink("missing/settings.conf", path.c_str()), 0);
  EXPECT_EQ(messageOf([&] { saveOne(path, "ip0", "new"); }),
            notSaved("the link " + path + " points into the folder " + folder.file("missing") +
                     ", which does not exist"));
  EXPECT_EQ(folder.names(), std::vector<std::string>{"Orlo.conf"});
}

}  // namespace
}  // namespace orlo
