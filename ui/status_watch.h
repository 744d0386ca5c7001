#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/login_start.h"
#include "settings/settings_store.h"
#include "ui/status_texts.h"

namespace orlo {

// Watching without looking: the status icon in the notification area, which shows the last
// sweep as one symbol and a summary on hover, and a notification after each sweep in which a
// watched host stopped or started answering. Both are the user's choice from the window's
// context menu; both are off unless chosen.

// The icon's picture, size by size pixels, one 0xAARRGGBB word per pixel (alpha not
// premultiplied), row by row from the top. The state shows in its shape as well as its colour:
// a filled green disc, a red disc crossed in white, a hollow grey ring.
std::vector<std::uint32_t> statusIconImage(StatusState state, int size);

// The options of the context menu.
enum class WatchOption { StatusIcon, Notifications, StartAtLogin };

struct WatchMenuItem {
  WatchOption option;
  std::string text;
  bool checked;
  bool enabled;
};

// What the status icon and the notifications need of the window.
class StatusShell {
 public:
  virtual ~StatusShell() = default;
  // Whether the desktop has a notification area to show the icon in, as last seen: the answer
  // never waits for the desktop.
  virtual bool hasNotificationArea() const = 0;
  // How long the hover text, a notification's title and its text may be here.
  virtual StatusTextLimits textLimits() const = 0;
  // Shows the icon, or changes it; hides it.
  virtual void showStatusIcon(const StatusIcon& icon) = 0;
  virtual void hideStatusIcon() = 0;
  // One notification: plain text, to be shown as it is. The state is that of the sweep it
  // reports, for a picture beside it.
  virtual void notify(const std::string& title, const std::string& text, StatusState state) = 0;
};

// Keeps the options and the sweeps' records, from which it shows the icon after every sweep and
// notifies from the third sweep on: the two at start-up only set the scene.
//
// The status icon and the notifications are settings "tray" and "notify", where "1" is on and
// anything else off. A value is written only once the user has chosen from the menu; until then
// the stored value stays exactly as it was found, whatever it holds. Starting at login is what
// the system holds, read each time the menu is built, and kept nowhere else.
class StatusWatch final {
 public:
  // Without loginStart the menu has no item for it.
  StatusWatch(StatusShell& shell, LoginStart* loginStart);

  // Reads the two options. A value the store cannot give (one of another type) is off.
  void load(SettingsStore& store);
  // The options chosen from the menu, to save with the monitor's settings.
  std::vector<std::pair<std::string, std::string>> settingsToSave() const;
  // A sweep has ended, and found this.
  void sweepEnded(const SweepRecord& sweep);

  std::vector<WatchMenuItem> menu() const;
  // A choice from the menu. Throws LoginStartError when the entry that starts the program at
  // login cannot be changed; nothing else has changed then.
  void toggle(WatchOption option);

 private:
  struct Option {
    bool on = false;
    bool chosen = false;  // from the menu, and so written at the save
  };
  Option& option(WatchOption which);
  void showIcon();

  StatusShell& shell_;
  LoginStart* loginStart_;
  Option statusIcon_;
  Option notifications_;
  std::optional<SweepRecord> last_;
  int sweeps_ = 0;
};

}  // namespace orlo
