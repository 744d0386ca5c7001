#pragma once

#include <stdexcept>

namespace orlo {

// The entry changing failed. The message names the entry and the reason, in words a user can act
// on, and says that nothing was changed.
class LoginStartError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The per-user entry with which the system starts the monitor when its user logs in: a file in
// the autostart folder on Linux, a value under the Run key on Windows. The system holds it; the
// monitor keeps no copy of it.
class LoginStart {
 public:
  enum class State {
    Absent,       // no entry of that name
    ThisProgram,  // an entry that starts this program
    Other,        // an entry of that name that starts something else, or cannot be read
  };

  virtual ~LoginStart() = default;

  // What the system holds now.
  virtual State state() const = 0;
  // Writes the entry that starts this program. An entry of another program is left as it is.
  // Throws LoginStartError when nothing was written.
  virtual void add() = 0;
  // Removes the entry, where it starts this program; one that starts another is left as it is.
  // Throws LoginStartError when the entry stays.
  virtual void remove() = 0;
};

}  // namespace orlo
