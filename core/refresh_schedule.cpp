#include "core/refresh_schedule.h"

#include <exception>
#include <limits>
#include <utility>

#include "core/integer_text.h"

namespace orlo {

RefreshSchedule::RefreshSchedule(MonitorView& view, std::function<void()> sweep)
    : view_(view), sweep_(std::move(sweep)) {}

void RefreshSchedule::onTick() {
  // tickCount never exceeds the larger of the limit and 1, so this cannot overflow.
  tickCount_ = static_cast<std::int16_t>(tickCount_ + 1);
  if (tickCount_ < tickLimit_) {
    return;
  }
  try {
    sweep_();
  } catch (const std::exception&) {
    // A failed sweep still completes the period.
  }
  tickCount_ = 0;
  recomputeLimit();
  if (tickLimit_ == 0) {
    tickLimit_ = kFallbackLimit;
    try {
      view_.setIntervalText(kFallbackIntervalText);
    } catch (const std::exception&) {
      // The limit is set; the text shows the old value until the next period.
    }
  }
}

void RefreshSchedule::recomputeLimit() {
  std::optional<std::int16_t> minutes;
  try {
    minutes = textToInt16(view_.intervalText());
  } catch (const std::exception&) {
    return;
  }
  if (!minutes) {
    return;
  }
  const int ticks = *minutes * kTicksPerMinute;
  if (ticks < std::numeric_limits<std::int16_t>::min() ||
      ticks > std::numeric_limits<std::int16_t>::max()) {
    return;
  }
  tickLimit_ = static_cast<std::int16_t>(ticks);
}

}  // namespace orlo
