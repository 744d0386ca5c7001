#include "core/refresh_schedule.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/memory_monitor_view.h"
#include "tests/support/table_cases.h"

namespace orlo {
namespace {

using testing_support::caseName;
using testing_support::PrintTo;

// Stands in for the window's one-second timer: each advance delivers ticks one at a time and
// notes the tick numbers at which the schedule ran a sweep.
class TestClock {
 public:
  TestClock() : schedule_(view, [this] { sweep(); }) {}

  MemoryMonitorView view;
  std::vector<long> sweepTicks;
  std::function<void()> duringSweep;

  void advance(long ticks) {
    for (long i = 0; i < ticks; ++i) {
      ++now_;
      schedule_.onTick();
    }
  }
  long now() const { return now_; }
  const RefreshSchedule& schedule() const { return schedule_; }

 private:
  void sweep() {
    sweepTicks.push_back(now_);
    if (duringSweep) {
      duringSweep();
    }
  }

  long now_ = 0;
  RefreshSchedule schedule_;
};

TEST(RefreshSchedule, StartsWithBothCountersAtZero) {
  TestClock clock;
  EXPECT_EQ(clock.schedule().tickCount(), 0);
  EXPECT_EQ(clock.schedule().tickLimit(), 0);
  EXPECT_TRUE(clock.sweepTicks.empty());
}

TEST(RefreshSchedule, FiveMinutesSweepsAtTheFirstTickThenEvery300Ticks) {
  TestClock clock;
  clock.view.setIntervalText("5");
  clock.advance(1 + 300 * 3 + 299);
  EXPECT_EQ(clock.sweepTicks, (std::vector<long>{1, 301, 601, 901}));
  EXPECT_EQ(clock.schedule().tickLimit(), 300);
  EXPECT_EQ(clock.schedule().tickCount(), 299);
  EXPECT_EQ(clock.view.intervalText(), "5");
}

struct LimitCase {
  const char* name;
  std::string firstText;  // read right after the first sweep
  std::int16_t firstLimit;
  std::string firstTextAfter;
  std::string laterText;  // read at the end of the following period
  std::int16_t laterLimit;
  std::string laterTextAfter;
};

class LimitRules : public testing::TestWithParam<LimitCase> {};

TEST_P(LimitRules, LimitAndTextAfterEachPeriod) {
  const LimitCase& c = GetParam();
  TestClock clock;
  clock.view.setIntervalText(c.firstText);
  clock.advance(1);
  ASSERT_EQ(clock.sweepTicks.size(), 1u);
  EXPECT_EQ(clock.schedule().tickLimit(), c.firstLimit);
  EXPECT_EQ(clock.view.intervalText(), c.firstTextAfter);

  clock.view.setIntervalText(c.laterText);
  const long periodEnd = std::max<long>(c.firstLimit, 1);
  clock.advance(periodEnd);
  ASSERT_EQ(clock.sweepTicks.size(), 2u);
  EXPECT_EQ(clock.sweepTicks[1], 1 + periodEnd);
  EXPECT_EQ(clock.schedule().tickLimit(), c.laterLimit);
  EXPECT_EQ(clock.view.intervalText(), c.laterTextAfter);
  EXPECT_EQ(clock.schedule().tickCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, LimitRules,
    testing::Values(LimitCase{"ZeroBecomesFiveMinutes", "1", 60, "1", "0", 300, "5"},
                    LimitCase{"TextAtFirstTickFails", "abc", 300, "5", "2", 120, "2"},
                    LimitCase{"EmptyAtFirstTickFails", "", 300, "5", "1", 60, "1"},
                    LimitCase{"TextLaterKeepsTheLimit", "2", 120, "2", "abc", 120, "abc"},
                    LimitCase{"EmptyLaterKeepsTheLimit", "2", 120, "2", "", 120, ""},
                    LimitCase{"OverflowKeepsFiveMinutes", "5", 300, "5", "600", 300, "600"},
                    LimitCase{"LargestThatFits", "5", 300, "5", "546", 32760, "546"},
                    LimitCase{"SmallestThatOverflows", "5", 300, "5", "547", 300, "547"},
                    LimitCase{"LargestNegativeThatFits", "5", 300, "5", "-546", -32760, "-546"},
                    LimitCase{"NegativeThatOverflows", "5", 300, "5", "-547", 300, "-547"},
                    LimitCase{"HalfRoundsToEven", "2.5", 120, "2.5", "3.5", 240, "3.5"},
                    LimitCase{"ConversionOutOfRange", "32767.5", 300, "5", "1", 60, "1"},
                    LimitCase{"SpacesAllowed", " 1 ", 60, " 1 ", "  2", 120, "  2"},
                    LimitCase{"ZeroPointFourRoundsToZero", "0.4", 300, "5", "0.6", 60, "0.6"}),
    caseName);

TEST(RefreshSchedule, NegativeIntervalSweepsOnEveryTick) {
  TestClock clock;
  clock.view.setIntervalText("-3");
  clock.advance(5);
  EXPECT_EQ(clock.schedule().tickLimit(), -180);
  EXPECT_EQ(clock.sweepTicks, (std::vector<long>{1, 2, 3, 4, 5}));
  EXPECT_EQ(clock.view.intervalText(), "-3");
}

TEST(RefreshSchedule, EditedIntervalTakesEffectOnlyAfterTheNextSweep) {
  TestClock clock;
  clock.view.setIntervalText("1");
  clock.advance(1);  // sweep at tick 1, limit 60
  clock.advance(10);
  clock.view.setIntervalText("2");  // edited in the middle of a one-minute period
  clock.advance(50 + 120);
  EXPECT_EQ(clock.sweepTicks, (std::vector<long>{1, 61, 181}));
}

TEST(RefreshSchedule, IntervalTextIsReadOnlyRightAfterASweep) {
  TestClock clock;
  clock.view.setIntervalText("1");
  clock.advance(1);
  clock.view.setIntervalText("junk");  // would fail the conversion if read now
  clock.advance(30);
  clock.view.setIntervalText("1");
  clock.advance(30);
  EXPECT_EQ(clock.sweepTicks, (std::vector<long>{1, 61}));
  EXPECT_EQ(clock.schedule().tickLimit(), 60);
}

TEST(RefreshSchedule, CountNeverPassesTheLimitSoItCannotOverflow) {
  TestClock clock;
  clock.view.setIntervalText("546");
  clock.advance(1);
  ASSERT_EQ(clock.schedule().tickLimit(), 32760);
  clock.advance(32759);
  EXPECT_EQ(clock.schedule().tickCount(), 32759);
  EXPECT_EQ(clock.sweepTicks.size(), 1u);
  clock.advance(1);
  EXPECT_EQ(clock.sweepTicks.size(), 2u);
  EXPECT_EQ(clock.schedule().tickCount(), 0);
}

TEST(RefreshSchedule, FailedSweepStillEndsThePeriod) {
  TestClock clock;
  clock.view.setIntervalText("1");
  clock.duringSweep = [] { throw std::runtime_error("sweep failed"); };
  clock.advance(1 + 60);
  EXPECT_EQ(clock.sweepTicks, (std::vector<long>{1, 61}));
  EXPECT_EQ(clock.schedule().tickLimit(), 60);
  EXPECT_EQ(clock.schedule().tickCount(), 0);
}

// A view whose interval text cannot be reached or changed.
class BrokenIntervalView : public MemoryMonitorView {
 public:
  std::string intervalText() const override { throw std::runtime_error("no interval control"); }
  void setIntervalText(const std::string&) override {
    throw std::runtime_error("no interval control");
  }
};

TEST(RefreshSchedule, UnreachableIntervalTextFallsBackToFiveMinutes) {
  BrokenIntervalView view;
  int sweeps = 0;
  RefreshSchedule schedule(view, [&] { ++sweeps; });
  for (int tick = 0; tick < 301; ++tick) {
    schedule.onTick();
  }
  EXPECT_EQ(sweeps, 2);
  EXPECT_EQ(schedule.tickLimit(), 300);
}

}  // namespace
}  // namespace orlo
