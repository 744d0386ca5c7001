// What a check sweep costs, next to baselines measured in the same run:
//   Sweep10Loopback  doping over a MemoryMonitorView with 127.0.0.1 .. 127.0.0.10 all ticked and
//                    the real Module1, against
//   TenProbes        ten ProbeHost("127.0.0.1") calls in a row, on the same Module1;
//   Sweep10SameHost  the sweep with 127.0.0.1 in every slot, which parts the cost of the sweep
//                    itself from that of ten different destinations;
//   SweepWithoutNet  the sweep over the ten loopback slots with an echo service that answers at
//                    once without the network: what the sweep itself costs around its probes;
//   Sweep10Silent    doping over ten ticked hosts that never answer, in network namespaces this
//                    program builds and removes itself, against the ideal of 10 x 500 ms
//                    (left out, with a note, where namespaces cannot be made: it needs root);
//   then the growth of open descriptors (/proc/self/fd) and of VmRSS over 10,000 probes to
//   127.0.0.1, which should be 0 for both.
// The ratios are printed at the end. ICMP goes only to 127.0.0.0/8 and to the namespaces' hosts.
//
// Run on demand, never as a pass/fail test (bench/run-all runs it with the others):
//   build/default/bench/sweep_bench [--quick] [--benchmark_... flags]
// Every loopback benchmark is repeated 10 times (--quick: 3 times, shorter) with the repetitions
// in random interleaving, and stands for the median; the silent sweep runs three times (--quick:
// once). Google Benchmark's own flags given on the command line override these.
// It needs an ICMP socket: root, CAP_NET_RAW, or net.ipv4.ping_group_range covering your group.
//
// An interrupted run (SIGINT, SIGTERM, SIGHUP) still removes its namespaces before it ends.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/loopback_probe.h"
#include "bench/timing_reporter.h"
#include "core/check_sweep.h"
#include "core/echo_probe.h"
#include "core/memory_monitor_view.h"
#include "tests/support/netns_topology.h"

namespace {

using orlo::LampColor;
using orlo::testing_netns::EchoLab;
using orlo::testing_netns::ThreadNetns;
using Clock = std::chrono::steady_clock;

using orlo::bench::kLoopback;
constexpr const char* kSweepLoopbackName = "Sweep10Loopback";
constexpr const char* kTenProbesName = "TenProbes";
constexpr const char* kSweepSameHostName = "Sweep10SameHost";
constexpr const char* kSweepWithoutNetName = "SweepWithoutNet";
constexpr const char* kSweepSilentName = "Sweep10Silent";
constexpr double kProbeTimeoutMs = 500;
constexpr int kLeakProbes = 10000;
constexpr int kLeakWarmUpProbes = 100;
// Far more than 10,000 loopback probes take; it only bounds a run where they time out.
constexpr std::chrono::seconds kLeakRunLimit{120};

// Ten addresses given to the lab's silent host, which ignores every echo request. They share the
// subnet of its link to the router (198.51.100.16/28), so the router reaches each directly.
std::vector<std::string> silentAddresses() {
  std::vector<std::string> addresses;
  for (int host = 20; host < 20 + orlo::kSlotCount; ++host) {
    addresses.push_back("198.51.100." + std::to_string(host));
  }
  return addresses;
}

// Answers every probe at once and sends nothing: leaves only the sweep's own work to time.
class InstantEcho : public orlo::EchoService {
 public:
  bool StartSockets() override { return true; }
  orlo::ProbeResult Probe(const std::string& address, const std::string&,
                          orlo::EchoReply& reply) override {
    reply.setStatus(orlo::ip_status::kSuccess);
    benchmark::DoNotOptimize(address.data());
    return {orlo::ip_status::kSuccess};
  }
};

// Fills every slot with the address and ticks it.
void watchAll(orlo::MemoryMonitorView& view, const std::vector<std::string>& addresses) {
  for (int slot = 0; slot < orlo::kSlotCount; ++slot) {
    view.setAddressText(slot, addresses[static_cast<std::size_t>(slot)]);
    view.setEnableValue(slot, 1);
  }
}

bool allLamps(const orlo::MemoryMonitorView& view, LampColor color) {
  for (int slot = 0; slot < orlo::kSlotCount; ++slot) {
    if (view.lampColor(slot) != color) {
      return false;
    }
  }
  return true;
}

// The namespaces of the silent sweep, removed on every way out: SIGINT, SIGTERM and SIGHUP are
// blocked in every thread (so this must be made before any other thread) and taken by a thread
// of its own, which removes the lab and ends the process.
class LabKeeper {
 public:
  LabKeeper() {
    ::sigemptyset(&signals_);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, kStopWatching}) {
      ::sigaddset(&signals_, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    watcher_ = std::thread([this] { watch(); });
  }
  LabKeeper(const LabKeeper&) = delete;
  LabKeeper& operator=(const LabKeeper&) = delete;
  ~LabKeeper() {
    const std::string failure = remove();
    if (!failure.empty()) {
      std::fprintf(stderr, "%s\n", failure.c_str());
    }
    ::pthread_kill(watcher_.native_handle(), kStopWatching);
    watcher_.join();
  }

  // Builds the lab with the silent addresses. Returns an empty text on success.
  std::string build() {
    const std::lock_guard<std::mutex> lock(mutex_);
    lab_ = std::make_unique<EchoLab>();
    std::string failure = lab_->build();
    if (failure.empty()) {
      failure = lab_->permitDatagramSockets(true);
    }
    for (const std::string& address : silentAddresses()) {
      if (!failure.empty()) {
        break;
      }
      const auto added = orlo::testing_netns::runCommand(
          {"ip", "-n", lab_->silentNamespace(), "addr", "add", address + "/28", "dev", "eth-r"});
      if (added.exitCode != 0) {
        failure = "adding " + address + " to the silent host failed: " + added.output;
      }
    }
    return failure;
  }

  std::string clientNamespace() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return lab_ ? lab_->clientNamespace() : std::string();
  }

  // Removes the lab's namespaces. Returns an empty text on success.
  std::string remove() {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::string failure = lab_ ? lab_->remove() : std::string();
    lab_.reset();
    return failure;
  }

 private:
  static constexpr int kStopWatching = SIGUSR2;

  void watch() {
    int signal = 0;
    if (::sigwait(&signals_, &signal) != 0 || signal == kStopWatching) {
      return;
    }
    std::fprintf(stderr, "\n%s: removing the network namespaces and stopping\n",
                 ::strsignal(signal));
    const std::string failure = remove();
    if (!failure.empty()) {
      std::fprintf(stderr, "%s\n", failure.c_str());
    }
    ::_exit(128 + signal);
  }

  sigset_t signals_{};
  mutable std::mutex mutex_;
  std::unique_ptr<EchoLab> lab_;
  std::thread watcher_;
};

// Times per sweep or per ten probes and the ratios between them.
void printRatios(const orlo::bench::TimingReporter& reporter) {
  using orlo::bench::printRatio;
  const auto find = [&reporter](const char* name) { return reporter.milliseconds(name); };
  std::printf("\nTime per sweep or per ten probes (real time, median where repeated):\n");
  for (const auto& [name, milliseconds] : reporter.milliseconds()) {
    std::printf("  %-16s %14.4f ms\n", name.c_str(), milliseconds);
  }
  printRatio("Sweep10Loopback / TenProbes", find(kSweepLoopbackName), find(kTenProbesName));
  printRatio("Sweep10SameHost / TenProbes", find(kSweepSameHostName), find(kTenProbesName));
  printRatio("Sweep10Loopback / Sweep10SameHost", find(kSweepLoopbackName),
             find(kSweepSameHostName));
  printRatio("SweepWithoutNet / TenProbes", find(kSweepWithoutNetName), find(kTenProbesName));
  printRatio("Sweep10Silent / ideal 10 x 500 ms", find(kSweepSilentName),
             orlo::kSlotCount * kProbeTimeoutMs);
  if (const auto silent = find(kSweepSilentName)) {
    std::printf("  %-34s %8.1f ms\n", "Sweep10Silent - ideal (overhead)",
                *silent - orlo::kSlotCount * kProbeTimeoutMs);
  }
}

struct Footprint {
  long openDescriptors = -1;
  long rssKb = -1;
};

Footprint footprint() {
  Footprint now;
  if (DIR* descriptors = ::opendir("/proc/self/fd")) {
    long count = 0;
    while (const dirent* entry = ::readdir(descriptors)) {
      count += entry->d_name[0] != '.' ? 1 : 0;
    }
    ::closedir(descriptors);
    now.openDescriptors = count - 1;  // the directory's own descriptor
  }
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, 6, "VmRSS:") == 0) {
      now.rssKb = std::strtol(line.c_str() + 6, nullptr, 10);
    }
  }
  return now;
}

struct Batch {
  Footprint after;
  int sent = 0;
  int failed = 0;
  double seconds = 0;
};

Batch probeBatch(orlo::Module1& module) {
  orlo::EchoReply reply{};
  Batch batch;
  const Clock::time_point start = Clock::now();
  for (; batch.sent < kLeakProbes && Clock::now() - start < kLeakRunLimit; ++batch.sent) {
    batch.failed +=
        module.ProbeHost(kLoopback, orlo::kEchoPayload, reply) != orlo::ip_status::kSuccess;
  }
  batch.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  batch.after = footprint();
  return batch;
}

// 10,000 probes to the loopback: what stays behind of them in descriptors and resident memory.
// A second batch tells a one-off (a page the allocator keeps) from growth that goes on.
void measureGrowth(orlo::Module1& module) {
  orlo::EchoReply reply{};
  // Whatever the first probes set up once (the C library's lazy parts) is not growth.
  for (int probe = 0; probe < kLeakWarmUpProbes; ++probe) {
    module.ProbeHost(kLoopback, orlo::kEchoPayload, reply);
  }
  const Footprint before = footprint();
  const Batch first = probeBatch(module);
  const Batch second = probeBatch(module);

  std::printf("\n%d + %d probes to %s after %d warm-up probes: %d without a reply, %.1f us each\n",
              first.sent, second.sent, kLoopback, kLeakWarmUpProbes, first.failed + second.failed,
              1e6 * (first.seconds + second.seconds) / std::max(1, first.sent + second.sent));
  std::printf("  %-18s %10s %10s %12s %10s %12s\n", "", "before", "after 1st", "growth 1st",
              "after 2nd", "growth 2nd");
  std::printf("  %-18s %10ld %10ld %12ld %10ld %12ld   (expected 0)\n", "open descriptors",
              before.openDescriptors, first.after.openDescriptors,
              first.after.openDescriptors - before.openDescriptors, second.after.openDescriptors,
              second.after.openDescriptors - first.after.openDescriptors);
  std::printf("  %-18s %10ld %10ld %12ld %10ld %12ld   (expected 0)\n", "VmRSS (kB)", before.rssKb,
              first.after.rssKb, first.after.rssKb - before.rssKb, second.after.rssKb,
              second.after.rssKb - first.after.rssKb);
  if (first.sent < kLeakProbes || second.sent < kLeakProbes) {
    std::printf("  a batch stopped after %lld s: fewer probes than asked\n",
                static_cast<long long>(kLeakRunLimit.count()));
  }
}

// The defaults of this benchmark, placed before the user's arguments so that those win:
// repetitions taken in random interleaving, so that a burst of load on a shared machine spreads
// over all the benchmarks instead of spoiling one, and only their aggregates shown.
std::vector<char*> withDefaultArguments(int argc, char** argv, bool quick,
                                        std::vector<std::string>& storage) {
  storage = {"--benchmark_enable_random_interleaving=true",
             std::string("--benchmark_repetitions=") + (quick ? "3" : "10"),
             "--benchmark_display_aggregates_only=true"};
  std::vector<char*> arguments{argv[0]};
  for (std::string& argument : storage) {
    arguments.push_back(argument.data());
  }
  arguments.insert(arguments.end(), argv + 1, argv + argc);
  arguments.push_back(nullptr);
  return arguments;
}

// Takes --quick out of the arguments; true when it was there.
bool takeQuickFlag(int& argc, char** argv) {
  bool quick = false;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      quick = true;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  return quick;
}

}  // namespace

int main(int argc, char** argv) {
  LabKeeper keeper;  // first: it blocks the stop signals before any other thread exists
  const bool quick = takeQuickFlag(argc, argv);
  std::vector<std::string> defaults;
  std::vector<char*> arguments = withDefaultArguments(argc, argv, quick, defaults);
  int argumentCount = static_cast<int>(arguments.size()) - 1;
  benchmark::Initialize(&argumentCount, arguments.data());
  if (benchmark::ReportUnrecognizedArguments(argumentCount, arguments.data())) {
    return 1;
  }

  orlo::Module1 module;
  if (!orlo::bench::firstLoopbackProbe(module, "loopback probe socket")) {
    return 1;
  }
  orlo::EchoReply reply{};
  const double loopbackMinTime = quick ? 0.1 : 0.2;

  std::vector<std::string> loopbackHosts;
  for (int host = 1; host <= orlo::kSlotCount; ++host) {
    loopbackHosts.push_back("127.0.0." + std::to_string(host));
  }
  orlo::MemoryMonitorView loopbackView;
  watchAll(loopbackView, loopbackHosts);
  orlo::MemoryMonitorView sameHostView;
  watchAll(sameHostView, std::vector<std::string>(orlo::kSlotCount, kLoopback));
  for (const auto& [name, view] : {std::pair{kSweepLoopbackName, &loopbackView},
                                   std::pair{kSweepSameHostName, &sameHostView}}) {
    benchmark::RegisterBenchmark(name,
                                 [&module, view = view](benchmark::State& state) {
                                   for (auto _ : state) {
                                     orlo::doping(*view, module);
                                     if (!allLamps(*view, LampColor::Green)) {
                                       state.SkipWithError("a loopback host did not answer");
                                       break;
                                     }
                                   }
                                 })
        ->UseRealTime()
        ->MinTime(loopbackMinTime)
        ->Unit(benchmark::kMicrosecond);
  }

  InstantEcho instantEcho;
  benchmark::RegisterBenchmark(kSweepWithoutNetName,
                               [&](benchmark::State& state) {
                                 for (auto _ : state) {
                                   orlo::doping(loopbackView, instantEcho);
                                 }
                               })
      ->UseRealTime()
      ->MinTime(loopbackMinTime)
      ->Unit(benchmark::kMicrosecond);

  benchmark::RegisterBenchmark(kTenProbesName,
                               [&](benchmark::State& state) {
                                 for (auto _ : state) {
                                   for (int probe = 0; probe < orlo::kSlotCount; ++probe) {
                                     if (module.ProbeHost(kLoopback, orlo::kEchoPayload, reply) !=
                                         orlo::ip_status::kSuccess) {
                                       state.SkipWithError("ProbeHost got no reply");
                                       break;
                                     }
                                   }
                                 }
                               })
      ->UseRealTime()
      ->MinTime(loopbackMinTime)
      ->Unit(benchmark::kMicrosecond);

  orlo::testing_netns::sweepStaleNamespaces();
  std::string silentUnavailable = orlo::testing_netns::netnsUnavailableReason().value_or("");
  if (silentUnavailable.empty()) {
    if (std::string failure = keeper.build(); !failure.empty()) {
      silentUnavailable = "the namespaces could not be built: " + failure;
    }
  }
  orlo::MemoryMonitorView silentView;
  watchAll(silentView, silentAddresses());
  if (silentUnavailable.empty()) {
    const std::string client = keeper.clientNamespace();
    benchmark::RegisterBenchmark(
        kSweepSilentName,
        [&silentView, client](benchmark::State& state) {
          // A probe's socket belongs to the namespace of the thread that opens it.
          const ThreadNetns inClient(client);
          if (!inClient.entered()) {
            state.SkipWithError(inClient.error().c_str());
            return;
          }
          orlo::Module1 silentModule;
          for (auto _ : state) {
            orlo::doping(silentView, silentModule);
          }
          for (int slot = 0; slot < orlo::kSlotCount; ++slot) {
            const orlo::ProbeReport report = silentView.probeReport(slot);
            if (report.outcome != orlo::ProbeOutcome::Failed ||
                report.status != orlo::ip_status::kTimedOut) {
              state.SkipWithError("a silent host's probe did not time out");
              return;
            }
          }
        })
        ->UseRealTime()
        ->Iterations(1)
        ->Repetitions(quick ? 1 : 3)
        ->Unit(benchmark::kMillisecond);
  } else {
    std::printf("The silent sweep is left out: %s\n", silentUnavailable.c_str());
  }

  orlo::bench::TimingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (const std::string failure = keeper.remove(); !failure.empty()) {
    std::fprintf(stderr, "%s\n", failure.c_str());
  }
  printRatios(reporter);
  measureGrowth(module);
  return 0;
}
