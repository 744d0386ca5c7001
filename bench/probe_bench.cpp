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
#include <linux/icmp.h>
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

#include "bench/timing_reporter.h"
#include "core/echo_probe.h"

extern char** environ;

namespace {

using orlo::SocketKind;

constexpr const char* kLoopback = "127.0.0.1";
constexpr const char* kPayload = "Echo";
constexpr int kTimeoutMs = 500;
constexpr const char* kProbeHostName = "ProbeHost";
constexpr const char* kFloorName = "Floor";
constexpr const char* kFpingName = "Fping";

std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t size) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
  }
  if (size % 2 != 0) {
    sum += static_cast<std::uint32_t>(data[size - 1] << 8);
  }
  while (sum >> 16 != 0) {
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return static_cast<std::uint16_t>(~sum);
}

// The echo with nothing around it. Returns whether the reply came back.
class MinimalEcho {
 public:
  explicit MinimalEcho(SocketKind kind) : kind_(kind) {
    destination_.sin_family = AF_INET;
    destination_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }

  bool once() {
    const bool raw = kind_ == SocketKind::Raw;
    const int fd = ::socket(AF_INET, (raw ? SOCK_RAW : SOCK_DGRAM) | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
      return false;
    }
    if (raw) {
      // Without it the raw socket first reads back its own request from the loopback.
      const icmp_filter onlyReplies{~(1U << ICMP_ECHOREPLY)};
      ::setsockopt(fd, SOL_RAW, ICMP_FILTER, &onlyReplies, sizeof onlyReplies);
    }
    const std::uint16_t sequence = ++sequence_;
    std::uint8_t request[8 + 4] = {ICMP_ECHO, 0, 0, 0, 0x4f, 0x52};
    request[6] = static_cast<std::uint8_t>(sequence >> 8);
    request[7] = static_cast<std::uint8_t>(sequence & 0xFF);
    std::memcpy(request + 8, kPayload, 4);
    const std::uint16_t checksum = internetChecksum(request, sizeof request);
    request[2] = static_cast<std::uint8_t>(checksum >> 8);
    request[3] = static_cast<std::uint8_t>(checksum & 0xFF);

    bool answered = false;
    if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&destination_),
                 sizeof destination_) == static_cast<ssize_t>(sizeof request)) {
      pollfd readable{fd, POLLIN, 0};
      std::uint8_t reply[256];
      // Another program's echo reply may come first on a raw socket; a few reads at most.
      for (int read = 0; read < 4 && !answered && ::poll(&readable, 1, kTimeoutMs) > 0; ++read) {
        const ssize_t length = ::recv(fd, reply, sizeof reply, 0);
        answered = length > 0 && isReplyTo(request, reply, static_cast<std::size_t>(length));
      }
    }
    ::close(fd);
    return answered;
  }

 private:
  // A raw socket hands over the IP header too, and sees every process's echo replies; a
  // datagram socket's identifier is rewritten by the kernel, which filters by it itself.
  bool isReplyTo(const std::uint8_t* request, const std::uint8_t* reply, std::size_t length) const {
    const bool raw = kind_ == SocketKind::Raw;
    const std::size_t offset = raw ? static_cast<std::size_t>(reply[0] & 0x0F) * 4 : 0;
    if (length < offset + 8 || reply[offset] != ICMP_ECHOREPLY) {
      return false;
    }
    const bool sameIdentifier =
        !raw || (reply[offset + 4] == request[4] && reply[offset + 5] == request[5]);
    return sameIdentifier && reply[offset + 6] == request[6] && reply[offset + 7] == request[7];
  }

  SocketKind kind_;
  sockaddr_in destination_{};
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
  orlo::EchoReply reply{};
  const std::int32_t firstStatus = module.ProbeHost(kLoopback, kPayload, reply);
  if (firstStatus != orlo::ip_status::kSuccess || !module.lastSocketKind()) {
    std::fprintf(stderr,
                 "ProbeHost(%s) gave %d: it needs an ICMP socket (root, CAP_NET_RAW, or "
                 "net.ipv4.ping_group_range covering your group)\n",
                 kLoopback, firstStatus);
    return 1;
  }
  const SocketKind kind = *module.lastSocketKind();
  benchmark::AddCustomContext("probe socket", kind == SocketKind::Datagram ? "datagram" : "raw");

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

  MinimalEcho floor(kind);
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
