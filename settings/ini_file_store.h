#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/ini_document.h"
#include "settings/settings_store.h"

namespace orlo {

// The per-user settings file, in QSettings' INI format, read and edited in place by
// ini::Document (which says how lines, names and values are read and written). Each section is
// a "[section]" of the file. This store serves the application kSettingsApplication only: the
// file is that application's, so another application name is a programming error
// (std::invalid_argument), as is a section or key that is empty or holds '/' or '\'.
//
// Paths are bytes: from the environment or the password database to the system calls, a path
// stays as it was given, in whatever encoding. Messages show its bytes that are not UTF-8 as
// escapes (\xE9).
//
// Load. The first get reads the file as it stands, once, with no copy anywhere; later gets
// answer from what was read until a commit succeeds. No line can make the file unreadable. A
// file that does not exist (nor the folder it would be in) reads as empty: every get gives its
// default. A file that exists but cannot be read, is larger than 16 MiB (refused unread), or
// runs the process out of memory fails the get with a SettingsError that names the file and
// gives the system's reason or the size; that store then never writes the file.
//
// Commit. save() only stages; commit() reads the file again as it is now (a file that cannot be
// read is not written) and sets every staged value in it. When that changes nothing, the file is
// not touched. Otherwise the new bytes take the file's place in one step, as user_file::replace
// writes them: a failed or killed save leaves the old file byte for byte; the new file keeps the
// old one's mode, owner, group, ACL and extended attributes, and a symbolic link stays a link. A
// failure throws SettingsError naming the file, or the folder when the folder is what cannot be
// written, and giving the system's reason; the staged values are dropped either way. Running out
// of memory is such a failure too.
class IniFileStore : public SettingsStore {
 public:
  explicit IniFileStore(const std::string& filePath);

  // The user's settings file: $XDG_CONFIG_HOME/Orlo/Orlo.conf when XDG_CONFIG_HOME is an
  // absolute path, else $HOME/.config/Orlo/Orlo.conf when HOME is one, else the same under the
  // home folder of the real user in the password database. Throws SettingsError when there is
  // no such folder.
  static std::string defaultFilePath();

  std::string get(const std::string& application, const std::string& section,
                  const std::string& key, const std::string& defaultValue) override;
  void save(const std::string& application, const std::string& section, const std::string& key,
            const std::string& value) override;
  void commit() override;
  // The file's absolute path, for every section.
  std::string location(const std::string& section) const override;

 private:
  struct StagedValue {
    std::string section;
    std::string key;
    std::string value;
  };

  const ini::Document& document();
  [[noreturn]] void failLoad(const std::string& why);

  std::string filePath_;
  std::optional<ini::Document> document_;
  std::optional<std::string> loadFailure_;
  std::vector<StagedValue> staged_;
};

}  // namespace orlo
