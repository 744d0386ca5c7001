#pragma once

#include <string>

#include "settings/login_start.h"

namespace orlo {

// The entry that starts the monitor when its user logs in on Windows: the value named after the
// program ("Orlo - IP Monitor") under the key Software\Microsoft\Windows\CurrentVersion\Run of
// HKEY_CURRENT_USER, a REG_SZ holding the program's full path in double quotes, which Windows
// runs at each login of that user.
//
// The value starts this program when it names this program's path, quoted or not, in any case
// (as Windows compares paths). Anything else of that name (another path, a command with
// arguments, a value of another type, one that cannot be read) is another program's, and is
// never changed. Each failure names the value and the key, gives the system's reason, and says
// that nothing was changed.
class RunKeyLoginStart final : public LoginStart {
 public:
  // programPath: this program's full path.
  explicit RunKeyLoginStart(std::wstring programPath);

  State state() const override;
  void add() override;
  void remove() override;

 private:
  std::wstring programPath_;
};

}  // namespace orlo
