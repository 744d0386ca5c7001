// The words a lamp uses for its slot's last probe, and the choice of Qt platform.

#include <gtest/gtest.h>

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

TEST(ProbeReportTextTest, NoSocketNamesBothFixesAndTheExecutable) {
  const std::string text = probeReportText({ProbeOutcome::NoSocket, ip_status::kUnusable},
                                           QStringLiteral("/usr/local/bin/orlo-monitor"))
                               .toStdString();
  EXPECT_NE(text.find("net.ipv4.ping_group_range = 0 2147483647"), std::string::npos) << text;
  EXPECT_NE(text.find("/etc/sysctl.d"), std::string::npos) << text;
  EXPECT_NE(text.find("setcap cap_net_raw+ep /usr/local/bin/orlo-monitor"), std::string::npos)
      << text;
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
