#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orlo::bench {

// Shows the usual console table and keeps each benchmark's real time per iteration, so that a
// benchmark can print ratios against the baselines measured in the same run. With repetitions
// the median stands for the benchmark; otherwise its one run does.
class TimingReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal: a reporter of one's own does not follow --benchmark_color.
  TimingReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) {
        continue;
      }
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Iteration || median) {
        Timing& timing = timings_[run.run_name.function_name];
        if (median || !timing.fromMedian) {
          timing = {run.GetAdjustedRealTime() * toMilliseconds(run.time_unit), median};
        }
      }
    }
  }

  // Every benchmark that ran, with its time in milliseconds.
  std::map<std::string, double> milliseconds() const {
    std::map<std::string, double> all;
    for (const auto& [name, timing] : timings_) {
      all.emplace(name, timing.milliseconds);
    }
    return all;
  }

  std::optional<double> milliseconds(const std::string& name) const {
    const auto found = timings_.find(name);
    return found == timings_.end() ? std::nullopt : std::optional(found->second.milliseconds);
  }

 private:
  struct Timing {
    double milliseconds = 0;
    bool fromMedian = false;
  };

  static double toMilliseconds(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return 1e-6;
      case benchmark::kMicrosecond:
        return 1e-3;
      case benchmark::kMillisecond:
        return 1;
      case benchmark::kSecond:
        return 1e3;
    }
    return 1;
  }

  std::map<std::string, Timing> timings_;
};

// Prints "label  top/bottom", or that it was not measured when either side is missing.
inline void printRatio(const char* label, std::optional<double> top, std::optional<double> bottom,
                       int labelWidth = 34) {
  if (!top || !bottom || *bottom <= 0) {
    std::printf("  %-*s not measured\n", labelWidth, label);
    return;
  }
  std::printf("  %-*s %8.3f\n", labelWidth, label, *top / *bottom);
}

}  // namespace orlo::bench
