// The Windows build's probe under Wine, against the hosts of the same namespaces as the Linux
// probe's tests. Wine sends the echo requests from helper processes that start with a prefix's
// first program, in that program's namespace, so the suite starts a prefix of its own inside the
// client namespace, runs the Windows build's echo_probe_windows_lab there, and removes the
// prefix and the namespaces at its end.
//
// Needs root, Wine and the Windows build; skipped without them unless ORLO_REQUIRE_NETNS=1 asks
// for a failure instead.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include "tests/support/netns_topology.h"

namespace orlo {
namespace {

using testing_netns::CommandResult;
using testing_netns::EchoLab;
using testing_netns::runCommand;

// The first run also creates the prefix, which takes Wine 10 to 30 seconds.
constexpr std::chrono::seconds kRunLimit{240};

std::optional<std::string> unavailableReason() {
  if (auto reason = testing_netns::netnsUnavailableReason()) {
    return reason;
  }
  if (runCommand({"wine", "--version"}).exitCode != 0) {
    return std::string("Wine does not run here (scripts/install-deps installs it)");
  }
  if (::access(ORLO_WINDOWS_LAB_PROGRAM, R_OK) != 0) {
    return std::string(ORLO_WINDOWS_LAB_PROGRAM) +
           " is missing: build the windows preset first (scripts/test does)";
  }
  return std::nullopt;
}

class WindowsProbeUnderWine : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!lab_.start(unavailableReason())) {
      return;
    }
    char folder[] = "/tmp/orlo-wine-netns-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    folder_ = folder;
  }

  static void TearDownTestSuite() {
    if (!folder_.empty()) {
      const CommandResult removed = runCommand({"env", prefixSetting(), ORLO_WINE_RUN, "--remove"});
      EXPECT_EQ(removed.exitCode, 0) << removed.output;
      std::filesystem::remove_all(folder_);
      folder_.clear();
    }
    lab_.stop();
  }

  void SetUp() override { lab_.requireReady(); }

  static std::string prefixSetting() { return "ORLO_WINEPREFIX=" + folder_ + "/prefix"; }

  // Runs the lab program's cases that match the filter in the client namespace.
  static CommandResult runLabCases(const std::string& filter) {
    return runCommand({"ip", "netns", "exec", lab_->clientNamespace(), "env", prefixSetting(),
                       std::string("ORLO_LAB_ANSWERING_HOST=") + EchoLab::kAnsweringHost,
                       std::string("ORLO_LAB_SILENT_HOST=") + EchoLab::kSilentHost,
                       std::string("ORLO_LAB_UNREACHABLE_HOSTS=") +
                           EchoLab::kBehindRouterUnreachable + " " + EchoLab::kLocallyUnreachable,
                       ORLO_WINE_RUN, ORLO_WINDOWS_LAB_PROGRAM, "--gtest_filter=" + filter},
                      kRunLimit);
  }

  // The echo requests the client namespace's kernel has sent, Wine's among them.
  static long echoRequestsSent() {
    const CommandResult counters = runCommand(
        {"ip", "netns", "exec", lab_->clientNamespace(), "nstat", "-asz", "IcmpOutEchos"});
    std::istringstream words(counters.output);
    long count = -1;
    for (std::string word; words >> word;) {
      if (word == "IcmpOutEchos" && words >> count) {
        return count;
      }
    }
    ADD_FAILURE() << "nstat counts no IcmpOutEchos: " << counters.output;
    return count;
  }

  static void expectAllPassed(const CommandResult& run) {
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ]"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("[  PASSED  ] 0 tests"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("[  SKIPPED ]"), std::string::npos) << run.output;
  }

  static inline testing_netns::SuiteLab lab_;
  static inline std::string folder_;
};

TEST_F(WindowsProbeUnderWine, SilentAnsweringAndUnreachableHostsGiveTheirStatuses) {
  const long before = echoRequestsSent();
  expectAllPassed(runLabCases("-*SendsNothing"));
  EXPECT_GT(echoRequestsSent(), before) << "the probes' requests are not counted in the client";
}

TEST_F(WindowsProbeUnderWine, UnparsableAddressSendsNothing) {
  const long before = echoRequestsSent();
  expectAllPassed(runLabCases("*SendsNothing"));
  EXPECT_EQ(echoRequestsSent(), before);
}

}  // namespace
}  // namespace orlo
