#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings_store.h"

namespace orlo {

// The per-user settings file, read and written by QSettings in its native format (an INI
// file on Linux). Each section is a QSettings group ("[Monitor]"); every value is stored as
// text. This store serves the application kSettingsApplication only: the file is that
// application's, so another application name is a programming error (std::invalid_argument).
// Section names and keys must be non-empty and free of '/' and '\'.
//
// Reading. The first get reads the whole file once, as one snapshot, and checks all of it; later
// gets answer from that snapshot until a commit succeeds. A file that does not exist reads as empty
// (every get gives its default). A file that cannot be read, or that QSettings cannot parse
// anywhere, fails the get with a SettingsError naming the file (and the faulty line, when there is
// one). A value that QSettings would hand out as anything but text - a hand-edited
// "ip0=10.0.0.1, 10.0.0.2" becomes a list - comes back as the text that stands after '=' on its
// line in the file. Reading never writes anything next to the file.
//
// Saving. save() only stages; commit() writes every staged value at once, and with nothing
// staged does not touch the file. Under the lock file
// QSettings uses ("<file>.lock"), it writes a new copy next to the file: the current file with
// the staged values merged in by QSettings. It then reads the copy back and checks that it holds
// exactly the old settings with the new values, makes it durable, and renames it over the file.
// A failure at any point leaves the file byte for byte as it was and throws SettingsError. (The
// check is needed: QSettings can report success for a file that was cut short, for instance
// when the disk fills up.) A file that cannot be read or parsed is never replaced, and a store
// whose load failed refuses to save at all. Saving through a symbolic link replaces the file the
// link points to and keeps the link. A new file is readable and writable by its owner only; a
// replaced file keeps its permissions.
class QtSettingsStore : public SettingsStore {
 public:
  explicit QtSettingsStore(std::string filePath);
  ~QtSettingsStore() override;
  QtSettingsStore(const QtSettingsStore&) = delete;
  QtSettingsStore& operator=(const QtSettingsStore&) = delete;

  // The user's settings file: on Linux $XDG_CONFIG_HOME/Orlo/Orlo.conf, where an unset, empty or
  // relative XDG_CONFIG_HOME stands for ~/.config.
  static std::string defaultFilePath();

  std::string get(const std::string& application, const std::string& section,
                  const std::string& key, const std::string& defaultValue) override;
  void save(const std::string& application, const std::string& section, const std::string& key,
            const std::string& value) override;
  void commit() override;
  // The file's absolute path.
  std::string location() const override { return filePath_; }

 private:
  class Snapshot;
  struct StagedValue {
    std::string section;
    std::string key;
    std::string value;
  };

  const Snapshot& snapshot();
  void writeFile(const std::vector<StagedValue>& staged) const;

  std::string filePath_;
  std::unique_ptr<Snapshot> snapshot_;
  std::optional<std::string> loadFailure_;
  std::vector<StagedValue> staged_;
};

}  // namespace orlo
