#include "settings/user_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "settings/message_text.h"

namespace orlo::user_file {
namespace {

// The largest buffer offered to getpwuid_r before giving up on a password entry.
constexpr std::size_t kMaxPasswordEntryBytes = 1 << 20;
// The files read here hold a few hundred bytes. A larger one than this is none of them, and
// reading it whole could take all the memory there is.
constexpr off_t kMaxFileBytes = off_t{16} << 20;
constexpr char kMaxFileSizeText[] = "16 MiB";
// As many symbolic links as the kernel follows in one path.
constexpr int kMaxLinks = 40;
// Names tried for the new file before the folder is taken to be full of stale ones.
constexpr int kNameAttempts = 100;
// Reads of an extended attribute that keeps growing between its size and its bytes.
constexpr int kAttributeReadAttempts = 4;
// The extended attribute that holds a file's POSIX access ACL, whose mask the mode also sets.
constexpr char kAccessAclAttribute[] = "system.posix_acl_access";

std::string systemReason(int error) {
  return std::generic_category().message(error);
}

// "<path> cannot be <what> (<the system's reason>)".
FileProblem problem(const std::string& path, const char* what, int error) {
  return FileProblem(shown(path) + " cannot be " + what + " (" + systemReason(error) + ")");
}

FileProblem folderProblem(const std::string& folder, int error, const std::string& linkPath) {
  if (error == ENOENT && !linkPath.empty()) {
    return FileProblem("the link " + shown(linkPath) + " points into the folder " + shown(folder) +
                       ", which does not exist");
  }
  return FileProblem("the folder " + shown(folder) + " cannot be written (" + systemReason(error) +
                     ")");
}

FileProblem tooLarge(const std::string& path, off_t size) {
  return FileProblem(shown(path) + " cannot be read (it is " + std::to_string(size) +
                     " bytes long; the monitor reads files of at most " + kMaxFileSizeText + ")");
}

std::string folderOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

// The file that path stands for: path itself, or where its symbolic links lead. A replacement
// writes that file, and keeps the links. It need not exist.
std::string linkTarget(const std::string& path) {
  std::string target = path;
  for (int links = 0;; ++links) {
    std::string pointsTo(PATH_MAX, '\0');
    const ssize_t length = ::readlink(target.c_str(), pointsTo.data(), pointsTo.size());
    if (length < 0 && (errno == EINVAL || errno == ENOENT || errno == ENOTDIR)) {
      return target;  // not a link, or nothing there yet
    }
    if (length < 0) {
      throw problem(path, "written", errno);
    }
    if (links == kMaxLinks || length == PATH_MAX) {
      throw problem(path, "written", links == kMaxLinks ? ELOOP : ENAMETOOLONG);
    }
    pointsTo.resize(static_cast<std::size_t>(length));
    target = pointsTo.starts_with('/') ? pointsTo : folderOf(target).append("/").append(pointsTo);
  }
}

// The new file, in the folder of the file it is to replace. Where the file system allows, it
// has no name until it is complete (O_TMPFILE), so that a save that fails or is killed leaves
// nothing behind. Elsewhere it is named "<file>.saving.<process id>.<n>" from the start, and
// removed again on every path but the one where it takes the file's place.
class NewFile {
 public:
  // linkPath: the file when it is a symbolic link to target, for a message.
  NewFile(std::string target, const std::string& linkPath)
      : target_(std::move(target)), folder_(folderOf(target_)) {
    int error = EOPNOTSUPP;
    // An unnamed file is named later through its entry in /proc.
    if (::access("/proc/self/fd", X_OK) == 0) {
      descriptor_.reset(::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
      error = errno;
    }
    // EISDIR: a kernel that does not know O_TMPFILE.
    if (!descriptor_.valid() && (error == EOPNOTSUPP || error == EISDIR)) {
      error = takeUnusedName([this](const std::string& name) {
        descriptor_.reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        return descriptor_.valid();
      });
    }
    if (!descriptor_.valid()) {
      throw folderProblem(folder_, error, linkPath);
    }
  }
  ~NewFile() {
    if (!name_.empty()) {
      ::unlink(name_.c_str());
    }
  }
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  int descriptor() const { return descriptor_.get(); }

  // Gives a complete unnamed file its name, then renames it over the target in one step.
  void replaceTarget(const std::string& path) {
    if (name_.empty()) {
      const std::string unnamed = "/proc/self/fd/" + std::to_string(descriptor_.get());
      const int error = takeUnusedName([&unnamed](const std::string& name) {
        return ::linkat(AT_FDCWD, unnamed.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
      });
      if (error != 0) {
        throw folderProblem(folder_, error, "");
      }
    }
    if (::rename(name_.c_str(), target_.c_str()) != 0) {
      throw problem(path, "replaced", errno);
    }
    name_.clear();
  }

 private:
  // Tries names with `take` until one is not taken yet. 0, or the errno of the last failure.
  template <typename Take>
  int takeUnusedName(const Take& take) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      std::string name =
          target_ + ".saving." + std::to_string(::getpid()) + "." + std::to_string(attempt);
      if (take(name)) {
        name_ = std::move(name);
        return 0;
      }
      if (errno != EEXIST) {
        return errno;
      }
    }
    return EEXIST;
  }

  std::string target_;
  std::string folder_;
  UniqueFd descriptor_;
  std::string name_;  // while it has one that is not the target's
};

// Fills `into` through a call that gives the size it needs when offered none (flistxattr,
// fgetxattr); asks again when it grew in between. -1 with errno set when it fails.
template <typename Read>
ssize_t readSized(std::string& into, const Read& read) {
  for (int attempt = 0; attempt < kAttributeReadAttempts; ++attempt) {
    const ssize_t size = read(nullptr, 0);
    if (size < 0) {
      return -1;
    }
    into.resize(static_cast<std::size_t>(size));
    const ssize_t got = read(into.data(), into.size());
    if (got >= 0) {
      into.resize(static_cast<std::size_t>(got));
      return got;
    }
    if (errno != ERANGE) {
      return -1;
    }
  }
  errno = ERANGE;
  return -1;
}

// The names of the extended attributes of the file that the process may see; none where the
// file system keeps none.
std::vector<std::string> attributeNames(int fd, const std::string& path) {
  std::string list;
  if (readSized(list, [fd](char* buffer, std::size_t size) {
        return ::flistxattr(fd, buffer, size);
      }) < 0) {
    if (errno == ENOTSUP) {
      return {};
    }
    throw problem(path, "read", errno);
  }
  std::vector<std::string> names;
  for (std::size_t at = 0; at < list.size(); at += names.back().size() + 1) {
    names.emplace_back(list.c_str() + at);
  }
  return names;
}

void copyAttribute(int from, int to, const std::string& name, const std::string& path) {
  std::string value;
  if (readSized(value,
                [from, &name](char* buffer, std::size_t size) {
                  return ::fgetxattr(from, name.c_str(), buffer, size);
                }) >= 0 &&
      ::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) == 0) {
    return;
  }
  const int error = errno;
  // Only the system's administrator may read or set some of these, and a security module
  // decides on its own; the new file then has what the system gives it.
  const bool restricted = name.starts_with("security.") || name.starts_with("trusted.");
  if (error == ENODATA ||  // removed since it was listed
      (restricted && (error == EPERM || error == EACCES || error == ENOTSUP))) {
    return;
  }
  throw FileProblem(shown(path) + " cannot be written: its extended attribute \"" + shown(name) +
                    "\" cannot be copied (" + systemReason(error) + ")");
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

void setMode(int fd, mode_t mode) {
  if (::fchmod(fd, mode) != 0) {
    throw FileProblem("the mode of the new file could not be set (" + systemReason(errno) + ")");
  }
}

// The new file gets the old one's owner, group, mode and extended attributes, its ACL among
// them; a new file is its owner's alone. Set after the bytes are written, since a write drops a
// file capability (security.capability), and the ACL after the mode, which sets the ACL's mask.
void keepMetadata(int fd, const std::string& path, const Contents& old) {
  if (!old.exists()) {
    setMode(fd, S_IRUSR | S_IWUSR);
    return;
  }
  if (!setOwner(fd, old.info.st_uid, old.info.st_gid)) {
    // Not allowed to give the file away: it stays the process's, in the old group if it may.
    setOwner(fd, static_cast<uid_t>(-1), old.info.st_gid);
  }
  const std::vector<std::string> names = attributeNames(old.reader.get(), path);
  for (const std::string& name : names) {
    if (name != kAccessAclAttribute) {
      copyAttribute(old.reader.get(), fd, name, path);
    }
  }
  setMode(fd, old.info.st_mode & 07777);
  if (std::find(names.begin(), names.end(), kAccessAclAttribute) != names.end()) {
    copyAttribute(old.reader.get(), fd, kAccessAclAttribute, path);
  }
}

// Through the descriptor, to the last byte: a short write, such as one cut off by a full disk,
// is an error, never a file cut short.
void writeAll(int fd, const std::string& path, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno != EINTR) {
      throw problem(path, "written", errno);
    }
    bytes.remove_prefix(written < 0 ? 0 : static_cast<std::size_t>(written));
  }
}

// Makes the folder and those above it that are missing, each its owner's alone: they hold what
// is the user's own.
void makeFolders(const std::string& folder) {
  struct stat found {};
  const bool there = !folder.empty() && ::stat(folder.c_str(), &found) == 0;
  if (folder.empty() || (there && S_ISDIR(found.st_mode))) {
    return;
  }
  if (!there) {
    makeFolders(folderOf(folder));
  }
  const int error = there ? ENOTDIR : ::mkdir(folder.c_str(), S_IRWXU) != 0 ? errno : 0;
  if (error != 0 && error != EEXIST) {
    throw FileProblem("the folder " + shown(folder) + " cannot be created (" + systemReason(error) +
                      ")");
  }
}

std::string userIdText() {
  return "user id " + std::to_string(::getuid());
}

// The home folder of the real user in the password database.
std::string passwordHome() {
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
  const std::string noHome = "neither XDG_CONFIG_HOME nor HOME is set to a folder, ";
  if (error != 0) {
    throw FileProblem(noHome + "and the password database could not be read for " + userIdText() +
                      " (" + systemReason(error) + ")");
  }
  if (found == nullptr || entry.pw_dir == nullptr || entry.pw_dir[0] != '/') {
    throw FileProblem(noHome + "and the password database has no home folder for " + userIdText());
  }
  return entry.pw_dir;
}

}  // namespace

std::string configFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    return cleanPath(xdg);
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    return cleanPath(std::string(home) + "/.config");
  }
  return cleanPath(passwordHome() + "/.config");
}

std::string shown(const std::string& path) {
  return escapedForMessage(path);
}

std::string cleanPath(std::string_view path) {
  std::string clean = path.starts_with('/') ? "/" : "";
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
    if (part.empty() || part == ".") {
      continue;
    }
    if (!clean.empty() && clean.back() != '/') {
      clean += '/';
    }
    clean += part;
  }
  return clean;
}

Contents read(const std::string& path) {
  Contents file;
  struct stat found {};
  if (::stat(path.c_str(), &found) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      return file;  // neither the file nor its folder is there: nothing to read
    }
    throw problem(path, "read", error);
  }
  if (S_ISDIR(found.st_mode)) {
    throw problem(path, "read", EISDIR);
  }
  // A pipe would block and a device is none of the monitor's files; replacing either would be
  // worse.
  if (!S_ISREG(found.st_mode)) {
    throw FileProblem(shown(path) + " cannot be read (it is not a regular file)");
  }
  file.reader.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!file.reader.valid() || ::fstat(file.reader.get(), &file.info) != 0) {
    throw problem(path, "read", errno);
  }
  if (file.info.st_size > kMaxFileBytes) {
    throw tooLarge(path, file.info.st_size);
  }
  file.bytes.reserve(static_cast<std::size_t>(file.info.st_size));
  std::array<char, 16384> chunk{};
  for (;;) {
    const ssize_t got = ::read(file.reader.get(), chunk.data(), chunk.size());
    if (got == 0) {
      return file;
    }
    if (got < 0 && errno != EINTR) {
      throw problem(path, "read", errno);
    }
    file.bytes.append(chunk.data(), got < 0 ? 0 : static_cast<std::size_t>(got));
    if (file.bytes.size() > static_cast<std::size_t>(kMaxFileBytes)) {  // it grew while read
      struct stat now {};
      throw tooLarge(path, ::fstat(file.reader.get(), &now) == 0
                               ? now.st_size
                               : static_cast<off_t>(file.bytes.size()));
    }
  }
}

void replace(const std::string& path, std::string_view bytes, const Contents& old) {
  if (old.exists() && ::access(path.c_str(), W_OK) != 0) {
    throw problem(path, "written", errno);
  }
  const std::string target = linkTarget(path);
  // The folders of the file are made as needed. A missing folder that a link points into is
  // not: the link may wait for a disk, and a file there would go unseen.
  if (!old.exists() && target == path) {
    makeFolders(folderOf(path));
  }
  NewFile file(target, target == path ? "" : path);
  writeAll(file.descriptor(), path, bytes);
  keepMetadata(file.descriptor(), path, old);
  if (::fsync(file.descriptor()) != 0) {
    throw problem(path, "written", errno);
  }
  file.replaceTarget(path);
}

void remove(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    throw problem(path, "removed", errno);
  }
}

}  // namespace orlo::user_file
