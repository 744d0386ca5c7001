#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "core/monitor_view.h"

namespace orlo::settings_keys {

// The names of the monitor's settings in its section: ip0 to ip9 for the address texts, ipen0 to
// ipen9 for the boxes, "refresh" for the interval text and "ontop" for the on-top box.
inline constexpr char kAddressPrefix[] = "ip";
inline constexpr char kEnablePrefix[] = "ipen";
inline constexpr char kRefresh[] = "refresh";
inline constexpr char kOnTop[] = "ontop";
inline constexpr std::size_t kCount = 2 * kSlotCount + 2;
// The window's own options beyond those: the status icon in the notification area, and
// notifications when a host changes. Not among all(): they are written only once they were set.
inline constexpr char kStatusIcon[] = "tray";
inline constexpr char kNotifications[] = "notify";

// "ip" and 0 give ip0: the slot index in decimal, one digit.
inline std::string slotKey(const char* prefix, int slot) {
  return prefix + std::to_string(slot);
}

// Every key, in the order a save writes them: ip0, ipen0, ip1, ipen1 ... ipen9, refresh, ontop.
inline std::array<std::string, kCount> all() {
  std::array<std::string, kCount> keys;
  for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
    keys[2 * slot] = slotKey(kAddressPrefix, static_cast<int>(slot));
    keys[2 * slot + 1] = slotKey(kEnablePrefix, static_cast<int>(slot));
  }
  keys[kCount - 2] = kRefresh;
  keys[kCount - 1] = kOnTop;
  return keys;
}

}  // namespace orlo::settings_keys
