#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/monitor_view.h"
#include "settings/settings_store.h"
#include "ui/form1_handlers.h"

namespace orlo {

// Watching without looking: the status icon in the notification area, which shows the last
// sweep as one symbol and a summary on hover, and a notification after each sweep in which a
// watched host stopped or started answering. Both are the user's choice from the window's
// context menu; both are off unless chosen.

// The last sweep as one symbol: no host watched, every watched host answered, or one did not.
enum class StatusState { NothingWatched, AllAnswer, SomeSilent };

// What a sweep found for one slot.
struct SlotSweep {
  std::string address;
  bool watched = false;
  bool answered = false;
  friend bool operator==(const SlotSweep&, const SlotSweep&) = default;
};
using SweepRecord = std::array<std::optional<SlotSweep>, kSlotCount>;  // none: not reached

struct StatusIcon {
  StatusState state = StatusState::NothingWatched;
  // "Orlo - IP Monitor: 8 of 9 watched hosts answer; no reply: 10.0.0.3 (host 3)".
  std::string hoverText;
};

StatusIcon statusOf(const SweepRecord& sweep);

// The notification for the hosts that stopped or started answering from one sweep to the next,
// one line each: "10.0.0.3 (host 3) stopped answering." or "... answers again.". Only slots that
// both sweeps watched, with the same address, count; nothing when none changed.
std::optional<std::string> changesBetween(const SweepRecord& before, const SweepRecord& after);

// The icon's picture, size by size pixels, one 0xAARRGGBB word per pixel (alpha not
// premultiplied), row by row from the top. The state shows in its shape as well as its colour:
// a filled green disc, a red disc crossed in white, a hollow grey ring.
std::vector<std::uint32_t> statusIconImage(StatusState state, int size);

// The two options of the context menu.
enum class WatchOption { StatusIcon, Notifications };

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
  // Whether the desktop has a notification area to show the icon in.
  virtual bool hasNotificationArea() const = 0;
  // Shows the icon, or changes it; hides it.
  virtual void showStatusIcon(const StatusIcon& icon) = 0;
  virtual void hideStatusIcon() = 0;
  // One notification, titled with the program's name.
  virtual void notify(const std::string& title, const std::string& text) = 0;
};

// Keeps the two options (settings "tray" and "notify": "1" is on, anything else off), each
// written only once the user has set it from the menu or when it was stored already, and the
// sweeps' records, from which it shows the icon after every sweep and notifies from the third
// sweep on: the two at start-up only set the scene.
class StatusWatch final : public WindowExtras {
 public:
  explicit StatusWatch(StatusShell& shell);

  void load(SettingsStore& store) override;
  std::vector<std::pair<std::string, std::string>> settingsToSave() const override;
  void sweepEnded() override;

  // The sweep reached this slot.
  void slotSwept(int slot, const SlotSweep& sweep);

  std::vector<WatchMenuItem> menu() const;
  void toggle(WatchOption option);

 private:
  struct Option {
    bool on = false;
    bool kept = false;  // written at the save
  };
  Option& option(WatchOption which);
  void showIcon();

  StatusShell& shell_;
  Option statusIcon_;
  Option notifications_;
  SweepRecord current_{};
  std::optional<SweepRecord> last_;
  int sweeps_ = 0;
};

}  // namespace orlo
