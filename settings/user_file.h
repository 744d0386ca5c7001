#pragma once

#include <sys/stat.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "core/unique_fd.h"

namespace orlo::user_file {

// The small files the monitor keeps for its user, the settings file and the entry that starts it
// at login: where they live, and how they are read and replaced. Paths are bytes, as the
// environment and the file system give them; a message shows the bytes that are not UTF-8 as
// escapes (\xE9).

// Why a file could not be found, read or written, in words that name it and give the system's
// reason where it has one: "<path> cannot be read (Permission denied)".
class FileProblem : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else
// $HOME/.config when HOME is one, else the same under the home folder of the real user in the
// password database. Throws FileProblem, saying why none of them gives a folder.
std::string configFolder();

// The path without empty and "." parts: "/a//b/./c/" is "/a/b/c". ".." stays, since only the
// file system knows where it leads when a symbolic link stands before it.
std::string cleanPath(std::string_view path);

// The path as a message shows it.
std::string shown(const std::string& path);

// A file as read, whole.
struct Contents {
  UniqueFd reader;  // open while the file exists: a replacement copies its attributes from here
  std::string bytes;
  struct stat info {};  // of the file a symbolic link points to

  bool exists() const { return reader.valid(); }
};

// Reads the file at path. A file that does not exist, nor the folder it would be in, reads as
// empty (!exists()). Throws FileProblem when it cannot be read, is no regular file, or is larger
// than 16 MiB, which is refused unread.
Contents read(const std::string& path);

// Puts bytes in the file's place in one step: the new bytes go to a new file in the same folder,
// written to the last byte (a short write, as on a full disk, is an error) and synced, which
// takes the file's place in one rename: an unnamed O_TMPFILE that is linked in as
// <file>.saving.<process>.<n> only when complete, so a failed or killed write leaves the old file
// byte for byte and, in all but the moment between that link and the rename, nothing else. (On a
// file system without O_TMPFILE the new file has that name from the start; a failed write removes
// it, a killed one leaves it behind.) The new file gets the old file's mode, its owner and group
// as far as the process may set them, and its extended attributes, the POSIX ACL among them with
// its mask as it was; a security.* or trusted.* attribute that the process may not copy is left as
// the system makes it. A new file is readable and writable by its owner only, and the folders
// made for it as needed are its owner's alone (0700). A symbolic link is kept and the file it
// points to is replaced; a missing folder that it points into is not created. old is the file as
// read before. Throws FileProblem naming the file, or the folder when the folder is what cannot
// be written, and giving the system's reason.
void replace(const std::string& path, std::string_view bytes, const Contents& old);

// Removes the file, where it is there. Throws FileProblem when it stays.
void remove(const std::string& path);

}  // namespace orlo::user_file
