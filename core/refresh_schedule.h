#pragma once

#include <cstdint>
#include <functional>

#include "core/monitor_view.h"

namespace orlo {

// Decides when a sweep runs after start-up: onTick is called once a second and runs the sweep
// whenever the ticks counted since the last sweep reach the limit. Right after a sweep the
// limit is recomputed as 60 times the interval text (minutes) in 16-bit arithmetic:
//  - text that does not convert, or a product outside 16 bits, keeps the previous limit;
//  - a limit of 0 (as at the start) becomes 300 ticks and the text becomes "5";
//  - a negative limit makes every tick run a sweep.
// Because both counters start at 0, the first tick always runs a sweep.
class RefreshSchedule {
 public:
  RefreshSchedule(MonitorView& view, std::function<void()> sweep);

  // Skips any step that fails and reports nothing; never throws.
  void onTick();

  std::int16_t tickCount() const { return tickCount_; }
  std::int16_t tickLimit() const { return tickLimit_; }

  static constexpr std::int16_t kTicksPerMinute = 60;
  static constexpr std::int16_t kFallbackLimit = 300;
  static constexpr char kFallbackIntervalText[] = "5";

 private:
  void recomputeLimit();

  MonitorView& view_;
  std::function<void()> sweep_;
  std::int16_t tickCount_ = 0;
  std::int16_t tickLimit_ = 0;
};

}  // namespace orlo
