#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/monitor_view.h"

namespace orlo {

// The texts of the status icon and the notifications: what a sweep found, the hosts that stopped
// or started answering, each address shown as text whatever it holds, and every text cut to what
// the desktop takes.

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

// How long each text may be, in UTF-16 code units: what Windows counts, and on Linux a bound that
// keeps a text on the screen.
struct StatusTextLimits {
  std::size_t hoverText;
  std::size_t title;
  std::size_t notification;
};

// The summary of a sweep, within limit.
StatusIcon statusOf(const SweepRecord& sweep, std::size_t limit);

// The notification for the hosts that stopped or started answering from one sweep to the next,
// one line each: "10.0.0.3 (host 3) stopped answering." or "... answers again.", within limit.
// Only slots that both sweeps watched, with the same address, count; nothing when none changed.
std::optional<std::string> changesBetween(const SweepRecord& before, const SweepRecord& after,
                                          std::size_t limit);

// The text as it is when it fits in limit; otherwise cut after a whole character and ended with
// "…". Bytes that are not UTF-8 count as one character each, as the toolkits show them.
std::string cutToFit(std::string_view text, std::size_t limit);

// The length of UTF-8 text in UTF-16 code units.
std::size_t utf16Length(std::string_view text);

// The text for a server that reads markup: "&", "<" and ">" as entities.
std::string markupEscaped(std::string_view text);

}  // namespace orlo
