#include "ui/status_watch.h"

#include <algorithm>
#include <cmath>

#include "program_identity.h"
#include "settings/settings_keys.h"

namespace orlo {
namespace {

constexpr char kOn[] = "1";

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

StatusWatch::StatusWatch(StatusShell& shell, LoginStart* loginStart)
    : shell_(shell), loginStart_(loginStart) {}

void StatusWatch::load(SettingsStore& store) {
  for (auto [which, key] : {std::pair{WatchOption::StatusIcon, settings_keys::kStatusIcon},
                            std::pair{WatchOption::Notifications, settings_keys::kNotifications}}) {
    std::string text;
    try {
      text = store.get(kSettingsApplication, kSettingsSection, key, "");
    } catch (const SettingsError&) {
      // A value the store cannot give as text (a registry value of another type) is off. It is
      // not written unless chosen, so it stays as it is.
    }
    option(which) = {text == kOn, false};
  }
}

std::vector<std::pair<std::string, std::string>> StatusWatch::settingsToSave() const {
  std::vector<std::pair<std::string, std::string>> settings;
  for (auto [which, key] : {std::pair{&statusIcon_, settings_keys::kStatusIcon},
                            std::pair{&notifications_, settings_keys::kNotifications}}) {
    if (which->chosen) {
      settings.emplace_back(key, which->on ? "1" : "0");
    }
  }
  return settings;
}

void StatusWatch::sweepEnded(const SweepRecord& swept) {
  ++sweeps_;
  if (notifications_.on && last_ && sweeps_ > 2) {
    const StatusTextLimits limits = shell_.textLimits();
    if (const std::optional<std::string> changes =
            changesBetween(*last_, swept, limits.notification)) {
      shell_.notify(cutToFit(identity::kProductName, limits.title), *changes,
                    statusOf(swept, limits.hoverText).state);
    }
  }
  last_ = swept;
  if (statusIcon_.on) {
    showIcon();
  }
}

std::vector<WatchMenuItem> StatusWatch::menu() const {
  const bool area = shell_.hasNotificationArea();
  std::vector<WatchMenuItem> items{
      // While it is on, the option can always be turned off.
      {WatchOption::StatusIcon,
       std::string("Show status in the notification area") +
           (area ? "" : " (this desktop has none)"),
       statusIcon_.on, area || statusIcon_.on},
      {WatchOption::Notifications, "Notify when a host stops or starts answering",
       notifications_.on, true},
  };
  if (loginStart_ != nullptr) {
    items.push_back({WatchOption::StartAtLogin, "Start when I log in",
                     loginStart_->state() == LoginStart::State::ThisProgram, true});
  }
  return items;
}

void StatusWatch::toggle(WatchOption which) {
  if (which == WatchOption::StartAtLogin) {
    if (loginStart_ == nullptr) {
      return;
    }
    if (loginStart_->state() == LoginStart::State::ThisProgram) {
      loginStart_->remove();
    } else {
      loginStart_->add();
    }
    return;
  }
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
  shell_.showStatusIcon(statusOf(last_.value_or(SweepRecord{}), shell_.textLimits().hoverText));
}

}  // namespace orlo
