// The words a lamp uses for its slot's last probe, and the choice of Qt platform.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/echo_probe.h"
#include "ui/monitor_program.h"
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
      {{ProbeOutcome::ProbeError, ip_status::kGeneralFailure}, "the probe could not be run"},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.words);
    EXPECT_EQ(probeReportText(each.report, QStringLiteral("/opt/orlo-monitor")).toStdString(),
              each.words);
  }
}

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
    const std::string text = probeReportText({ProbeOutcome::NoSocket, ip_status::kUnusable,
                                              each.reason, each.systemError},
                                             QStringLiteral("/usr/local/bin/orlo-monitor"))
                                 .toStdString();
    SCOPED_TRACE(text);
    for (const std::string& words : each.words) {
      EXPECT_NE(text.find(words), std::string::npos) << words;
    }
    const bool advised = text.find("setcap") != std::string::npos ||
                         text.find("ping_group_range") != std::string::npos;
    EXPECT_EQ(advised, each.reason == UnusableReason::NotPermitted);
  }
}

TEST(PreferredPlatformTest, X11IsPreferredOnlyWhenBothDisplaysAreThereAndNoneWasPicked) {
  using Value = std::optional<std::string>;
  const struct {
    Value qpa;
    Value wayland;
    Value display;
    Value expected;
  } cases[] = {
      {std::nullopt, "wayland-0", ":0", "xcb;wayland"},
      {"", "wayland-0", ":0", "xcb;wayland"},
      {"wayland", "wayland-0", ":0", std::nullopt},
      {"offscreen", "wayland-0", ":0", std::nullopt},
      {std::nullopt, "wayland-0", std::nullopt, std::nullopt},
      {std::nullopt, "wayland-0", "", std::nullopt},
      {std::nullopt, std::nullopt, ":0", std::nullopt},
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.qpa.value_or("<unset>") + " " + each.wayland.value_or("<unset>") + " " +
                 each.display.value_or("<unset>"));
    EXPECT_EQ(preferredPlatform(each.qpa, each.wayland, each.display), each.expected);
  }
}

TEST(PreferredPlatformTest, OnlyDesktopsThatHonourStayOnTopClaimIt) {
  EXPECT_TRUE(platformKeepsWindowsOnTop(QStringLiteral("xcb")));
  EXPECT_TRUE(platformKeepsWindowsOnTop(QStringLiteral("offscreen")));
  EXPECT_FALSE(platformKeepsWindowsOnTop(QStringLiteral("wayland")));
  EXPECT_FALSE(platformKeepsWindowsOnTop(QStringLiteral("wayland-egl")));
  EXPECT_FALSE(platformKeepsWindowsOnTop(QStringLiteral("eglfs")));
}

}  // namespace
}  // namespace orlo
