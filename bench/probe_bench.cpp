// What one echo probe to 127.0.0.1 costs, next to two baselines timed in the same run:
//   floor   the same echo done here with the fewest system calls (socket, sendto, poll, recv,
//           close; a raw socket also needs its ICMP filter set), on the socket kind that
//           ProbeHost uses on this machine;
//   fping   one "fping -c1 -t500 127.0.0.1" process, started and waited for (left out, with a
//           note, where fping is not installed).
// The ratios ProbeHost / floor and fping / ProbeHost are printed at the end. Loopback only.
//
// Run on demand, never as a pass/fail test:
//   cmake --preset default && cmake --build --preset default --target probe_bench
//   build/default/bench/probe_bench [--benchmark_repetitions=5 ...]
// It needs an ICMP socket: root, CAP_NET_RAW, or net.ipv4.ping_group_range covering your group.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/loopback_probe.h"
#include "bench/timing_reporter.h"
#include "core/echo_probe.h"
#include "core/icmp_packet.h"

extern char** environ;

namespace {

using orlo::SocketKind;

using orlo::bench::kLoopback;
constexpr const char* kPayload = "Echo";
constexpr int kTimeoutMs = 500;
constexpr const char* kProbeHostName = "ProbeHost";
constexpr const char* kFloorName = "Floor";
constexpr const char* kFpingName = "Fping";

// The echo with nothing around it. Returns whether the reply came back.
class MinimalEcho {
 public:
  explicit MinimalEcho(SocketKind kind) : kind_(kind) {}

  bool once() {
    // A raw socket is told to pass only echo replies: it would first read back its own request.
    const orlo::icmp::IcmpSocket socket = orlo::icmp::openSocket(kind_);
    if (!socket.fd.valid()) {
      return false;
    }
    const orlo::icmp::EchoRequestId id{htonl(INADDR_LOOPBACK), kIdentifier, ++sequence_, kind_};
    const std::vector<std::uint8_t> request = orlo::icmp::buildEcho(
        orlo::icmp::kEchoRequest, id.identifier, id.sequence,
        {reinterpret_cast<const std::uint8_t*>(kPayload), std::strlen(kPayload)});
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = id.target;
    if (::sendto(socket.fd.get(), request.data(), request.size(), 0,
                 reinterpret_cast<const sockaddr*>(&destination),
                 sizeof destination) != static_cast<ssize_t>(request.size())) {
      return false;
    }
    pollfd readable{socket.fd.get(), POLLIN, 0};
    std::uint8_t reply[256];
    // Another program's echo reply may come first on a raw socket; a few reads at most.
    for (int read = 0; read < 4 && ::poll(&readable, 1, kTimeoutMs) > 0; ++read) {
      sockaddr_in source{};
      socklen_t sourceLength = sizeof source;
      const ssize_t length = ::recvfrom(socket.fd.get(), reply, sizeof reply, 0,
                                        reinterpret_cast<sockaddr*>(&source), &sourceLength);
      if (length > 0 && orlo::icmp::matchReply(id, source.sin_addr.s_addr,
                                               {reply, static_cast<std::size_t>(length)})) {
        return true;
      }
    }
    return false;
  }

 private:
  static constexpr std::uint16_t kIdentifier = 0x4F52;
  SocketKind kind_;
  std::uint16_t sequence_ = 0;
};

std::optional<std::string> findOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream directories(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string directory; std::getline(directories, directory, ':');) {
    const std::string candidate = directory + "/" + program;
    if (!directory.empty() && ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return std::nullopt;
}

// Runs fping once for the loopback, its output thrown away. Returns whether it got a reply.
bool runFping(const std::string& fping) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string arguments[] = {fping, "-c1", "-t500", kLoopback};
  char* argv[] = {arguments[0].data(), arguments[1].data(), arguments[2].data(),
                  arguments[3].data(), nullptr};
  pid_t child = -1;
  const int spawnError = ::posix_spawn(&child, fping.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawnError != 0) {
    return false;
  }
  int status = 0;
  // fping ends by itself after its own 500 ms timeout at the latest.
  if (::waitpid(child, &status, 0) != child) {
    return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Times per call and the ratios against the floor and fping.
void printRatios(const orlo::bench::TimingReporter& reporter) {
  std::printf("\nTime per call (real time):\n");
  for (const auto& [name, milliseconds] : reporter.milliseconds()) {
    std::printf("  %-10s %10.2f us\n", name.c_str(), milliseconds * 1e3);
  }
  orlo::bench::printRatio("ProbeHost / floor", reporter.milliseconds(kProbeHostName),
                          reporter.milliseconds(kFloorName), 18);
  orlo::bench::printRatio("fping / ProbeHost", reporter.milliseconds(kFpingName),
                          reporter.milliseconds(kProbeHostName), 18);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }

  orlo::Module1 module;
  const std::optional<SocketKind> kind = orlo::bench::firstLoopbackProbe(module, "probe socket");
  if (!kind) {
    return 1;
  }
  orlo::EchoReply reply{};

  benchmark::RegisterBenchmark(
      kProbeHostName,
      [&](benchmark::State& state) {
        for (auto _ : state) {
          if (module.ProbeHost(kLoopback, kPayload, reply) != orlo::ip_status::kSuccess) {
            state.SkipWithError("ProbeHost got no reply");
            break;
          }
        }
      })
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);

  MinimalEcho floor(*kind);
  benchmark::RegisterBenchmark(kFloorName,
                               [&](benchmark::State& state) {
                                 for (auto _ : state) {
                                   if (!floor.once()) {
                                     state.SkipWithError("the minimal echo got no reply");
                                     break;
                                   }
                                 }
                               })
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);

  if (const auto fping = findOnPath("fping")) {
    benchmark::RegisterBenchmark(kFpingName,
                                 [fping = *fping](benchmark::State& state) {
                                   for (auto _ : state) {
                                     if (!runFping(fping)) {
                                       state.SkipWithError("fping got no reply");
                                       break;
                                     }
                                   }
                                 })
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
  } else {
    std::printf("fping is not installed (apt-get install fping): its baseline is left out\n");
  }

  orlo::bench::TimingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  printRatios(reporter);
  return 0;
}
