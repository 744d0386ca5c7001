// The Windows probe against hosts in network namespaces. The Linux build's
// echo_probe_wine_netns_tests builds the namespaces, starts a Wine prefix inside the client one
// and runs this program there, naming the hosts in the environment:
//   ORLO_LAB_ANSWERING_HOST    answers echo requests
//   ORLO_LAB_SILENT_HOST       drops them
//   ORLO_LAB_UNREACHABLE_HOSTS unreachable, as a router and as the client's own routes report
//                              (separated by spaces)
// It also counts the echo requests the client sends while a case runs.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "core/echo_probe.h"

namespace orlo {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kProbeTimeout{500};
// The echo service times its wait with a clock of its own, which may be up to a timer tick
// (15.6 ms on Windows) ahead of ours: under Wine a silent host's probe takes 499.6 to 501 ms.
constexpr milliseconds kServiceClockTick{16};

std::string labHost(const char* variable) {
  const char* value = std::getenv(variable);
  EXPECT_NE(value, nullptr) << variable << " is not set: echo_probe_wine_netns_tests runs this";
  return value == nullptr ? std::string() : std::string(value);
}

struct Probe {
  std::int32_t status;
  milliseconds elapsed;
};

Probe probe(const std::string& address, EchoReply& reply) {
  Module1 module;
  const Clock::time_point start = Clock::now();
  const std::int32_t status = module.ProbeHost(address, "Echo", reply);
  return {status, std::chrono::duration_cast<milliseconds>(Clock::now() - start)};
}

TEST(WindowsProbeInNamespaces, SilentHostGivesNonZeroAfterTheFullTimeout) {
  EchoReply reply{};
  const Probe silent = probe(labHost("ORLO_LAB_SILENT_HOST"), reply);
  EXPECT_EQ(silent.status, ip_status::kTimedOut);
  EXPECT_EQ(reply.status(), silent.status);
  EXPECT_GE(silent.elapsed, kProbeTimeout - kServiceClockTick);
}

// The service writes its own status for a silent host, but for an address it refuses to send to
// (0.0.0.0 under Wine) it leaves the buffer as it was: with an earlier probe's 0 in it.
TEST(WindowsProbeInNamespaces, FailureAfterAnAnswerWithTheSameBufferIsNotGreen) {
  for (const std::string& failing : {labHost("ORLO_LAB_SILENT_HOST"), std::string("0.0.0.0")}) {
    SCOPED_TRACE(failing);
    EchoReply reply{};
    ASSERT_EQ(probe(labHost("ORLO_LAB_ANSWERING_HOST"), reply).status, ip_status::kSuccess);
    ASSERT_EQ(reply.status(), ip_status::kSuccess);
    const Probe failed = probe(failing, reply);
    EXPECT_NE(failed.status, ip_status::kSuccess);
    EXPECT_EQ(reply.status(), failed.status);
  }
}

TEST(WindowsProbeInNamespaces, UnreachableHostsFailBeforeTheTimeout) {
  std::istringstream hosts(labHost("ORLO_LAB_UNREACHABLE_HOSTS"));
  int probed = 0;
  for (std::string host; hosts >> host; ++probed) {
    SCOPED_TRACE(host);
    EchoReply reply{};
    const Probe unreachable = probe(host, reply);
    EXPECT_EQ(unreachable.status, ip_status::kDestHostUnreachable);
    EXPECT_EQ(reply.status(), unreachable.status);
    EXPECT_LT(unreachable.elapsed, kProbeTimeout);
  }
  EXPECT_GT(probed, 0);
}

// Run on its own, with the client's count of echo requests read before and after.
TEST(WindowsProbeInNamespaces, UnparsableAddressSendsNothing) {
  EchoReply reply{};
  EXPECT_EQ(probe("abc", reply).status, ip_status::kUnusable);
  EXPECT_EQ(reply.bytes, EchoReply{}.bytes);
}

}  // namespace
}  // namespace orlo
