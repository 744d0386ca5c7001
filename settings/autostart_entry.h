#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/login_start.h"

namespace orlo {

// Starting at login on a Linux desktop: the file orlo-monitor.desktop in the user's autostart
// folder, a desktop entry that starts this program by its absolute path and names the same path
// as TryExec, so that a desktop skips it once the program is gone. The file is read at each
// state(); the monitor keeps no copy of it.
//
// An entry of that name is this program's when the first word of its Exec, in its
// [Desktop Entry] group, is this program's path; otherwise it is another program's (or one that
// cannot be read), and it is never written over or removed. The entry is written in one step
// (user_file::replace), its folders made as needed, each its owner's alone.
class AutostartEntry final : public LoginStart {
 public:
  // filePath: the entry; programPath: this program's absolute path.
  AutostartEntry(std::string filePath, std::string programPath);

  // orlo-monitor.desktop in the autostart folder of the user's configuration folder, found as
  // the settings file's is. Throws LoginStartError when there is none.
  static std::string defaultFilePath();

  State state() const override;
  void add() override;
  void remove() override;

 private:
  struct Found {
    State state;
    std::string why;  // for another program's entry: why it is left as it is
  };
  Found inspect() const;

  std::string filePath_;
  std::string programPath_;
};

// The entry that starts programPath. Throws LoginStartError where the path is not UTF-8 or holds
// a control character, which a desktop entry cannot start.
std::string autostartEntryText(std::string_view programPath);

// The program that an entry starts: the first word of the Exec of its [Desktop Entry] group,
// unquoted. Nothing where the entry has no Exec there.
std::optional<std::string> programStartedBy(std::string_view entryText);

}  // namespace orlo
