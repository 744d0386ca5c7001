#include "settings/ini_file_store.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

namespace orlo {
namespace {

// The largest buffer offered to getpwuid_r before giving up on a password entry.
constexpr std::size_t kMaxPasswordEntryBytes = 1 << 20;

// Why the file could not be read or written, in the system's own words where it has some.
class FileProblem : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string systemReason(int error) {
  return std::generic_category().message(error);
}

QString qtPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

void checkAddress(const std::string& application, const std::string& section,
                  const std::string& key) {
  if (application != kSettingsApplication) {
    throw std::invalid_argument("this settings file holds the settings of \"" +
                                std::string(kSettingsApplication) + "\" only, not of \"" +
                                application + "\"");
  }
  ini::checkName("section", section);
  ini::checkName("key", key);
}

struct FileContents {
  bool exists = false;
  std::string bytes;
  struct stat info {};  // of the file a symbolic link points to
};

FileContents readFile(const std::string& path) {
  FileContents file;
  if (::stat(path.c_str(), &file.info) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      return file;  // neither the file nor its folder is there: nothing to read
    }
    throw FileProblem(path + " cannot be read (" + systemReason(error) + ")");
  }
  if (S_ISDIR(file.info.st_mode)) {
    throw FileProblem(path + " cannot be read (" + systemReason(EISDIR) + ")");
  }
  // A pipe would block and a device is no settings file; replacing either would be worse.
  if (!S_ISREG(file.info.st_mode)) {
    throw FileProblem(path + " cannot be read (it is not a regular file)");
  }
  QFile reader(qtPath(path));
  QByteArray bytes;
  if (reader.open(QIODevice::ReadOnly)) {
    bytes = reader.readAll();
  }
  if (!reader.isOpen() || reader.error() != QFileDevice::NoError) {
    throw FileProblem(path + " cannot be read (" + reader.errorString().toStdString() + ")");
  }
  file.exists = true;
  file.bytes = bytes.toStdString();
  return file;
}

// False when the process may not give the file this owner and group.
bool setOwner(int fd, uid_t owner, gid_t group) {
  if (::fchown(fd, owner, group) == 0) {
    return true;
  }
  if (errno == EPERM) {
    return false;
  }
  throw FileProblem("the owner of the new file could not be set (" + systemReason(errno) + ")");
}

// The new file gets the old one's mode, owner and group; a new file is its owner's alone.
void keepOwnerAndMode(int fd, const FileContents& old) {
  mode_t mode = S_IRUSR | S_IWUSR;
  if (old.exists) {
    if (!setOwner(fd, old.info.st_uid, old.info.st_gid)) {
      // Not allowed to give the file away: it stays the process's, in the old group if it may.
      setOwner(fd, static_cast<uid_t>(-1), old.info.st_gid);
    }
    mode = old.info.st_mode & 07777;
  }
  if (::fchmod(fd, mode) != 0) {
    throw FileProblem("the mode of the new file could not be set (" + systemReason(errno) + ")");
  }
}

// Through the descriptor: QSaveFile (Qt 6.4) takes a short write, such as one cut off by a full
// disk, for success and would commit the file cut short.
void writeAll(int fd, const std::string& path, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno != EINTR) {
      throw FileProblem(path + " cannot be written (" + systemReason(errno) + ")");
    }
    bytes.remove_prefix(written < 0 ? 0 : static_cast<std::size_t>(written));
  }
}

void writeFile(const std::string& path, const std::string& bytes, const FileContents& old) {
  if (old.exists) {
    // QSaveFile would refuse too, in words of its own.
    if (::access(path.c_str(), W_OK) != 0) {
      throw FileProblem(path + " cannot be written (" + systemReason(errno) + ")");
    }
  } else {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
      throw FileProblem("the folder " + folder.string() + " cannot be created (" + error.message() +
                        ")");
    }
  }
  QSaveFile file(qtPath(path));
  if (!file.open(QIODevice::WriteOnly)) {
    throw FileProblem(path + " cannot be written (" + file.errorString().toStdString() + ")");
  }
  keepOwnerAndMode(file.handle(), old);
  writeAll(file.handle(), path, bytes);
  if (!file.commit()) {
    throw FileProblem(path + " cannot be written (" + file.errorString().toStdString() + ")");
  }
}

std::string userIdText() {
  return "user id " + std::to_string(::getuid());
}

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    return home;
  }
  const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384, '\0');
  passwd entry{};
  passwd* found = nullptr;
  int error = 0;
  while ((error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) ==
             ERANGE &&
         buffer.size() < kMaxPasswordEntryBytes) {
    buffer.resize(buffer.size() * 2);
  }
  const std::string noHome =
      "The settings file cannot be found: neither XDG_CONFIG_HOME nor HOME is set to a folder, ";
  if (error != 0) {
    throw SettingsError(noHome + "and the password database could not be read for " + userIdText() +
                        " (" + systemReason(error) + ").");
  }
  if (found == nullptr || entry.pw_dir == nullptr || entry.pw_dir[0] != '/') {
    throw SettingsError(noHome + "and the password database has no home folder for " +
                        userIdText() + ".");
  }
  return entry.pw_dir;
}

}  // namespace

IniFileStore::IniFileStore(const std::string& filePath)
    : filePath_(QFileInfo(qtPath(filePath)).absoluteFilePath().toStdString()) {}

std::string IniFileStore::defaultFilePath() {
  std::string configHome;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    configHome = xdg;
  } else {
    configHome = homeFolder() + "/.config";
  }
  const std::string application = kSettingsApplication;
  return QDir::cleanPath(qtPath(configHome + "/" + application + "/" + application + ".conf"))
      .toStdString();
}

const ini::Document& IniFileStore::document() {
  if (loadFailure_) {
    throw SettingsError(*loadFailure_);
  }
  if (!document_) {
    try {
      document_.emplace(readFile(filePath_).bytes);
    } catch (const FileProblem& problem) {
      loadFailure_ = std::string("The settings cannot be loaded: ") + problem.what() + ".";
      throw SettingsError(*loadFailure_);
    }
  }
  return *document_;
}

std::string IniFileStore::get(const std::string& application, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
  checkAddress(application, section, key);
  return document().value(section, key).value_or(defaultValue);
}

void IniFileStore::save(const std::string& application, const std::string& section,
                        const std::string& key, const std::string& value) {
  checkAddress(application, section, key);
  staged_.push_back({section, key, value});
}

void IniFileStore::commit() {
  const std::vector<StagedValue> staged = std::exchange(staged_, {});
  if (loadFailure_) {
    throw SettingsError("The settings were not saved, because " + filePath_ +
                        " could not be read when they were loaded. It has been left as it was.");
  }
  if (staged.empty()) {
    return;
  }
  try {
    // The file as it is now: edits made to it since the load stay.
    const FileContents current = readFile(filePath_);
    ini::Document edited(current.bytes);
    for (const StagedValue& value : staged) {
      edited.setValue(value.section, value.key, value.value);
    }
    const std::string bytes = edited.bytes();
    if (!current.exists || bytes != current.bytes) {
      writeFile(filePath_, bytes, current);
    }
    document_ = std::move(edited);
  } catch (const FileProblem& problem) {
    throw SettingsError(std::string("The settings could not be saved: ") + problem.what() +
                        ". Nothing in the settings file has changed.");
  }
}

}  // namespace orlo
