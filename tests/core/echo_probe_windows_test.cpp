// The Windows probe on loopback, through the system's ICMP echo service (under Wine: as root or
// with CAP_NET_RAW, which Wine's echo service needs for its ICMP socket).

// clang-format off
#include <winsock.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include <gtest/gtest.h>

#include <string>

#include "core/check_sweep.h"
#include "core/echo_probe.h"
#include "core/memory_monitor_view.h"
#include "core/windows_text.h"
#include "ui/probe_report_text.h"

namespace orlo {
namespace {

constexpr std::uint32_t kLoopback = 0x0100007F;  // 127.0.0.1 in network byte order
constexpr char kNeedsIcmp[] =
    "the system's echo service sent nothing; under Wine it needs root or CAP_NET_RAW";

std::string echoedData(const EchoReply& reply) {
  const auto& record = *reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.bytes.data());
  return std::string(static_cast<const char*>(record.Data), record.DataSize);
}

TEST(ProbeHostWindows, LocalHostAnswersWithTheEchoedPayload) {
  Module1 module;
  ASSERT_TRUE(module.StartSockets());
  EchoReply reply{};
  ASSERT_EQ(module.ProbeHost("127.0.0.1", "Echo", reply), ip_status::kSuccess) << kNeedsIcmp;
  EXPECT_EQ(reply.status(), ip_status::kSuccess);
  EXPECT_EQ(reply.address(), kLoopback);
  EXPECT_EQ(echoedData(reply), "Echo");
}

TEST(ProbeHostWindows, ShortFormIsProbedAsItsFullAddress) {
  Module1 module;
  EchoReply reply{};
  ASSERT_EQ(module.ProbeHost("127.1", "Echo", reply), ip_status::kSuccess) << kNeedsIcmp;
  EXPECT_EQ(reply.address(), kLoopback);
}

// The service's own rule: the reply buffer holds the record, the payload and 8 bytes more.
TEST(ProbeHostWindows, LargestPayloadTheBufferHoldsIsSent) {
  Module1 module;
  EchoReply reply{};
  EXPECT_EQ(module.ProbeHost("127.0.0.1", std::string(Module1::kMaxPayload, 'x'), reply),
            ip_status::kSuccess)
      << kNeedsIcmp;
  EXPECT_EQ(echoedData(reply), std::string(Module1::kMaxPayload, 'x'));
}

// The service refuses to send to " " (which inet_addr reads as 0.0.0.0) and to 0.0.0.0 with a
// Win32 error rather than an IP status: the lamp names it in the system's words.
TEST(ProbeHostWindows, RefusedAddressIsNamedInTheSystemsWords) {
  for (const char* address : {" ", "0.0.0.0"}) {
    SCOPED_TRACE(address);
    MemoryMonitorView view;
    view.setAddressText(0, address);
    view.setEnableValue(0, 1);
    Module1 module;
    doping(view, module);
    const ProbeReport report = view.probeReport(0);
    EXPECT_EQ(view.lampColor(0), LampColor::Red);
    EXPECT_EQ(report.status, ERROR_INVALID_NETNAME);
    const std::string words = windows::systemMessage(ERROR_INVALID_NETNAME);
    EXPECT_EQ(words.rfind("Windows error", 0), std::string::npos) << "the system has no words";
    EXPECT_EQ(probeReportText(report, "monitor.exe"), "no reply: " + words);
  }
}

}  // namespace
}  // namespace orlo
