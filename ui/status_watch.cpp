#include "ui/status_watch.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "program_identity.h"
#include "settings/settings_keys.h"

namespace orlo {
namespace {

constexpr char kOn[] = "1";

std::string hostName(const SlotSweep& sweep, int slot) {
  return sweep.address + " (host " + std::to_string(slot + 1) + ")";
}

// One colour of the icon, 0xRRGGBB, or none: transparent.
using Paint = std::optional<std::uint32_t>;
constexpr std::uint32_t kGreen = 0x00FF00;
constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kGrey = 0x808080;

// The icon at a point (x and y from -1 to 1, the centre at 0).
Paint paintAt(StatusState state, double x, double y) {
  const double radius = std::hypot(x, y);
  if (radius > 0.94) {
    return std::nullopt;
  }
  switch (state) {
    case StatusState::AllAnswer:
      return kGreen;
    case StatusState::SomeSilent: {
      // A cross of two strokes along the diagonals, inside the disc.
      const double fromDiagonal = std::min(std::abs(x - y), std::abs(x + y)) / std::sqrt(2.0);
      return fromDiagonal < 0.13 && radius < 0.6 ? kWhite : kRed;
    }
    case StatusState::NothingWatched:
      return radius > 0.68 ? Paint(kGrey) : std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

StatusIcon statusOf(const SweepRecord& sweep) {
  int watched = 0;
  int answering = 0;
  std::string silent;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!sweep[slot] || !sweep[slot]->watched) {
      continue;
    }
    ++watched;
    if (sweep[slot]->answered) {
      ++answering;
    } else {
      silent += (silent.empty() ? "" : ", ") + hostName(*sweep[slot], slot);
    }
  }
  const std::string title = std::string(identity::kProductName) + ": ";
  if (watched == 0) {
    return {StatusState::NothingWatched, title + "no host is watched"};
  }
  std::string text = title + std::to_string(answering) + " of " + std::to_string(watched) +
                     (watched == 1 ? " watched host answers" : " watched hosts answer");
  if (silent.empty()) {
    return {StatusState::AllAnswer, text};
  }
  return {StatusState::SomeSilent, text + "; no reply: " + silent};
}

std::optional<std::string> changesBetween(const SweepRecord& before, const SweepRecord& after) {
  std::string lines;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::optional<SlotSweep>& was = before[slot];
    const std::optional<SlotSweep>& is = after[slot];
    // A slot whose address or box the user changed between the sweeps is another watch.
    if (!was || !is || !was->watched || !is->watched || was->address != is->address ||
        was->answered == is->answered) {
      continue;
    }
    lines += (lines.empty() ? "" : "\n") + hostName(*is, slot) +
             (is->answered ? " answers again." : " stopped answering.");
  }
  if (lines.empty()) {
    return std::nullopt;
  }
  return lines;
}

std::vector<std::uint32_t> statusIconImage(StatusState state, int size) {
  // Each pixel averages four by four samples, so that the edges are smooth at any size.
  constexpr int kSamples = 4;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * size);
  for (int row = 0; row < size; ++row) {
    for (int column = 0; column < size; ++column) {
      std::uint32_t red = 0;
      std::uint32_t green = 0;
      std::uint32_t blue = 0;
      std::uint32_t covered = 0;
      for (int sample = 0; sample < kSamples * kSamples; ++sample) {
        const int sampleRow = sample / kSamples;
        const int sampleColumn = sample % kSamples;
        const double x = (column + (sampleColumn + 0.5) / kSamples) * 2 / size - 1;
        const double y = (row + (sampleRow + 0.5) / kSamples) * 2 / size - 1;
        if (const Paint paint = paintAt(state, x, y)) {
          red += (*paint >> 16) & 0xFF;
          green += (*paint >> 8) & 0xFF;
          blue += *paint & 0xFF;
          ++covered;
        }
      }
      if (covered > 0) {
        const std::uint32_t alpha = covered * 255 / (kSamples * kSamples);
        pixels[static_cast<std::size_t>(row) * size + column] =
            alpha << 24 | (red / covered) << 16 | (green / covered) << 8 | blue / covered;
      }
    }
  }
  return pixels;
}

StatusWatch::StatusWatch(StatusShell& shell) : shell_(shell) {}

void StatusWatch::load(SettingsStore& store) {
  for (auto [which, key] : {std::pair{WatchOption::StatusIcon, settings_keys::kStatusIcon},
                            std::pair{WatchOption::Notifications, settings_keys::kNotifications}}) {
    // A stored empty text counts as absent: left as it is, it stays as it was.
    const std::string text = store.get(kSettingsApplication, kSettingsSection, key, "");
    option(which) = {text == kOn, !text.empty()};
  }
}

std::vector<std::pair<std::string, std::string>> StatusWatch::settingsToSave() const {
  std::vector<std::pair<std::string, std::string>> settings;
  for (auto [which, key] : {std::pair{&statusIcon_, settings_keys::kStatusIcon},
                            std::pair{&notifications_, settings_keys::kNotifications}}) {
    if (which->kept) {
      settings.emplace_back(key, which->on ? "1" : "0");
    }
  }
  return settings;
}

void StatusWatch::slotSwept(int slot, const SlotSweep& sweep) {
  current_[slot] = sweep;
}

void StatusWatch::sweepEnded() {
  const SweepRecord swept = std::exchange(current_, {});
  if (std::none_of(swept.begin(), swept.end(), [](const auto& slot) { return slot.has_value(); })) {
    return;  // the sockets layer refused: nothing was swept
  }
  ++sweeps_;
  if (notifications_.on && last_ && sweeps_ > 2) {
    if (const std::optional<std::string> changes = changesBetween(*last_, swept)) {
      shell_.notify(identity::kProductName, *changes);
    }
  }
  last_ = swept;
  if (statusIcon_.on) {
    showIcon();
  }
}

std::vector<WatchMenuItem> StatusWatch::menu() const {
  const bool area = shell_.hasNotificationArea();
  return {
      {WatchOption::StatusIcon,
       std::string("Show status in the notification area") +
           (area ? "" : " (this desktop has none)"),
       statusIcon_.on, area},
      {WatchOption::Notifications, "Notify when a host stops or starts answering",
       notifications_.on, true},
  };
}

void StatusWatch::toggle(WatchOption which) {
  Option& chosen = option(which);
  chosen = {!chosen.on, true};
  if (which != WatchOption::StatusIcon) {
    return;
  }
  if (chosen.on) {
    showIcon();
  } else {
    shell_.hideStatusIcon();
  }
}

StatusWatch::Option& StatusWatch::option(WatchOption which) {
  return which == WatchOption::StatusIcon ? statusIcon_ : notifications_;
}

void StatusWatch::showIcon() {
  shell_.showStatusIcon(statusOf(last_.value_or(SweepRecord{})));
}

}  // namespace orlo
