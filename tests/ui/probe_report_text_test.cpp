// The words a lamp uses for its slot's last probe.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/echo_probe.h"
#include "ui/probe_report_text.h"

namespace orlo {
namespace {

TEST(ProbeReportTextTest, EachOutcomeInWords) {
  const struct {
    ProbeReport report;
    const char* words;
  } cases[] = {
      {{ProbeOutcome::Answered, ip_status::kSuccess}, "reply"},
      {{ProbeOutcome::NotWatched, 0}, "not watched"},
      {{ProbeOutcome::NotAnAddress, ip_status::kUnusable}, "not an IPv4 address"},
      {{ProbeOutcome::Failed, ip_status::kTimedOut}, "no reply within 500 ms"},
      {{ProbeOutcome::Failed, ip_status::kDestHostUnreachable}, "destination host unreachable"},
      {{ProbeOutcome::Failed, ip_status::kDestNetUnreachable}, "destination network unreachable"},
      {{ProbeOutcome::Failed, ip_status::kDestPortUnreachable}, "destination port unreachable"},
      {{ProbeOutcome::Failed, ip_status::kTtlExpiredTransit}, "time to live expired in transit"},
      {{ProbeOutcome::Failed, 12345}, "no reply (status 12345)"},
      {{ProbeOutcome::Failed, 1214, UnusableReason::None, "The name is invalid. (error 1214)"},
       "no reply: The name is invalid. (error 1214)"},
      {{ProbeOutcome::ProbeError, ip_status::kGeneralFailure}, "the probe could not be run"},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.words);
    EXPECT_EQ(probeReportText(each.report, "/opt/orlo-monitor"), each.words);
  }
}

// Linux's advice; package-check-windows checks that monitor.exe holds none of it.
#if !defined(_WIN32)
// Only a refusal gets the advice about permissions; every other reason is named as it is.
TEST(ProbeReportTextTest, NoSocketNamesItsReason) {
  const struct {
    UnusableReason reason;
    std::string systemError;
    std::vector<std::string> words;
  } cases[] = {
      {UnusableReason::NotPermitted,
       "",
       {"this user may not open ICMP sockets", "/etc/sysctl.d",
        "net.ipv4.ping_group_range = 0 2147483647",
        "setcap cap_net_raw+ep /usr/local/bin/orlo-monitor"}},
      {UnusableReason::OutOfOpenFiles, "", {"out of open files"}},
      {UnusableReason::OutOfMemory, "", {"out of memory"}},
      {UnusableReason::OtherError,
       "Protocol not supported",
       {"no ICMP socket could be opened: Protocol not supported"}},
  };
  for (const auto& each : cases) {
    const std::string text = probeReportText(
        {ProbeOutcome::NoSocket, ip_status::kUnusable, each.reason, each.systemError},
        "/usr/local/bin/orlo-monitor");
    SCOPED_TRACE(text);
    for (const std::string& words : each.words) {
      EXPECT_NE(text.find(words), std::string::npos) << words;
    }
    const bool advised = text.find("setcap") != std::string::npos ||
                         text.find("ping_group_range") != std::string::npos;
    EXPECT_EQ(advised, each.reason == UnusableReason::NotPermitted);
  }
}
#endif

}  // namespace
}  // namespace orlo
