#include "core/check_sweep.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/memory_monitor_view.h"
#include "tests/support/scripted_echo.h"
#include "tests/support/table_cases.h"

namespace orlo {
namespace {

using testing_support::caseName;
using testing_support::PrintTo;
using testing_support::ScriptedEcho;

// Records every operation the sweep performs, so that the order can be checked.
class RecordingView : public MemoryMonitorView {
 public:
  mutable std::vector<std::string> log;

  std::string addressText(int slot) const override {
    log.push_back("address " + std::to_string(slot));
    return MemoryMonitorView::addressText(slot);
  }
  std::int16_t enableValue(int slot) const override {
    log.push_back("enable " + std::to_string(slot));
    return MemoryMonitorView::enableValue(slot);
  }
  void setLampColor(int slot, LampColor color) override {
    log.push_back("lamp " + std::to_string(slot));
    MemoryMonitorView::setLampColor(slot, color);
  }
  void setProbeReport(int slot, const ProbeReport& report) override {
    log.push_back("report " + std::to_string(slot));
    MemoryMonitorView::setProbeReport(slot, report);
  }
};

// The slots a case sets up; every other slot is unticked with an empty address.
struct SlotSetup {
  int slot;
  std::int16_t enable;
  std::string address;
};

struct SweepCase {
  const char* name;
  std::vector<SlotSetup> slots;
  std::vector<std::string> expectedProbes;
  std::string expectedLamps;  // one letter a slot: G green, R red, B black
};

// Hosts in 127.0.0.0/8 answer; every other text fails the way the real probe would.
ProbeResult loopbackAnswers(const std::string& address, EchoReply&) {
  if (!parseIpv4Address(address)) {
    return {ip_status::kUnusable, UnusableReason::NotAnAddress};
  }
  return {address.rfind("127.", 0) == 0 ? ip_status::kSuccess : ip_status::kTimedOut};
}

constexpr LampColor G = LampColor::Green;
constexpr LampColor R = LampColor::Red;
constexpr LampColor B = LampColor::Black;

char letterOf(LampColor color) {
  return color == G ? 'G' : color == R ? 'R' : 'B';
}

class SweepTable : public testing::TestWithParam<SweepCase> {};

TEST_P(SweepTable, ProbesEnabledSlotsInOrderAndPaintsEveryLamp) {
  RecordingView view;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    view.setLampColor(slot, slot % 2 == 0 ? G : R);  // colours of an earlier sweep
  }
  for (const SlotSetup& setup : GetParam().slots) {
    view.setEnableValue(setup.slot, setup.enable);
    view.setAddressText(setup.slot, setup.address);
  }
  ScriptedEcho echo;
  echo.answer = loopbackAnswers;
  doping(view, echo);
  EXPECT_EQ(echo.sweeps, 1);
  EXPECT_EQ(echo.probed, GetParam().expectedProbes);
  for (const std::string& payload : echo.payloads) {
    EXPECT_EQ(payload, "Echo");
  }
  std::string lamps;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    lamps += letterOf(view.lampColor(slot));
  }
  EXPECT_EQ(lamps, GetParam().expectedLamps);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SweepTable,
    testing::Values(
        SweepCase{"NothingEnabled", {{0, 0, "127.0.0.1"}, {9, 0, "127.0.0.9"}}, {}, "BBBBBBBBBB"},
        SweepCase{"ReachableThenUnparsable",
                  {{1, 1, "127.0.0.1"}, {2, 1, "abc"}},
                  {"127.0.0.1", "abc"},
                  "BGRBBBBBBB"},
        SweepCase{"GreyedBoxIsNotEnabled",
                  {{0, 2, "127.0.0.1"}, {1, 1, "127.0.0.2"}, {2, 2, ""}, {9, 2, "127.0.0.10"}},
                  {"127.0.0.2"},
                  "BGBBBBBBBB"},
        SweepCase{"EmptyAddressIsProbedAndEndsRed", {{0, 1, ""}}, {""}, "RBBBBBBBBB"},
        SweepCase{"AllTenEnabledInIndexOrder",
                  {{0, 1, "127.0.0.1"},
                   {1, 1, "192.0.2.1"},
                   {2, 1, "127.0.0.3"},
                   {3, 1, "x"},
                   {4, 1, "127.0.0.5"},
                   {5, 1, "127.0.0.6"},
                   {6, 1, "255.255.255.255"},
                   {7, 1, "127.0.0.8"},
                   {8, 1, "198.51.100.9"},
                   {9, 1, "127.1"}},
                  {"127.0.0.1", "192.0.2.1", "127.0.0.3", "x", "127.0.0.5", "127.0.0.6",
                   "255.255.255.255", "127.0.0.8", "198.51.100.9", "127.1"},
                  "GRGRGGRGRG"}),
    caseName);

TEST(Sweep, ReadsBoxAndAddressOfEachSlotWhenItGetsThere) {
  RecordingView view;
  view.setEnableValue(0, 1);
  view.setAddressText(0, "127.0.0.1");
  view.setEnableValue(1, 1);
  ScriptedEcho echo;
  echo.onStartSockets = [&view] { view.log.push_back("start"); };
  echo.onProbe = [&view](const std::string& address) { view.log.push_back("probe " + address); };
  doping(view, echo);
  const std::vector<std::string> expected = {"start",    "enable 0", "address 0", "probe 127.0.0.1",
                                             "report 0", "lamp 0",   "enable 1",  "address 1",
                                             "probe ",   "report 1", "lamp 1"};
  ASSERT_GE(view.log.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(view.log.begin(), view.log.begin() + expected.size()),
            expected);
  for (int slot = 2; slot < kSlotCount; ++slot) {
    const std::size_t at = expected.size() + 3 * static_cast<std::size_t>(slot - 2);
    EXPECT_EQ(view.log.at(at), "enable " + std::to_string(slot));
    EXPECT_EQ(view.log.at(at + 1), "report " + std::to_string(slot));
    EXPECT_EQ(view.log.at(at + 2), "lamp " + std::to_string(slot));
  }
}

TEST(Sweep, AnEditMadeDuringAProbeIsSeenByTheNextSlot) {
  MemoryMonitorView view;
  view.setEnableValue(0, 1);
  view.setAddressText(0, "127.0.0.1");
  view.setEnableValue(1, 1);
  view.setAddressText(1, "abc");
  view.setEnableValue(2, 1);
  view.setAddressText(2, "127.0.0.3");
  ScriptedEcho echo;
  echo.answer = [&view](const std::string& address, EchoReply& reply) {
    if (address == "127.0.0.1") {
      view.setAddressText(1, "127.0.0.2");  // the user fixes slot 1 while slot 0 is probed
      view.setEnableValue(2, 0);            // and unticks slot 2
    }
    return loopbackAnswers(address, reply);
  };
  doping(view, echo);
  EXPECT_EQ(echo.probed, (std::vector<std::string>{"127.0.0.1", "127.0.0.2"}));
  EXPECT_EQ(view.lampColor(1), LampColor::Green);
  EXPECT_EQ(view.lampColor(2), LampColor::Black);
}

TEST(Sweep, RefusedSocketsLayerChangesNoLamp) {
  RecordingView view;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    view.setEnableValue(slot, slot % 3 == 0 ? 1 : 0);
    view.setAddressText(slot, "127.0.0.1");
    view.setLampColor(slot, slot % 2 == 0 ? LampColor::Green : LampColor::Red);
  }
  view.log.clear();
  ScriptedEcho echo;
  echo.startResult = false;
  EXPECT_FALSE(doping(view, echo));
  EXPECT_TRUE(echo.probed.empty());
  EXPECT_TRUE(view.log.empty()) << "first operation: " << view.log.front();
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(view.lampColor(slot), slot % 2 == 0 ? LampColor::Green : LampColor::Red);
  }
}

TEST(Sweep, SocketsLayerThatFailsToRunDoesNotStopTheSweep) {
  MemoryMonitorView view;
  view.setEnableValue(0, 1);
  view.setAddressText(0, "127.0.0.1");
  ScriptedEcho echo;
  echo.onStartSockets = [] { throw std::runtime_error("sockets library missing"); };
  echo.answer = [](const std::string&, EchoReply&) -> ProbeResult {
    throw std::runtime_error("ICMP service missing");
  };
  EXPECT_TRUE(doping(view, echo));
  EXPECT_EQ(echo.probed.size(), 1u);
  EXPECT_EQ(view.lampColor(0), LampColor::Red);
  EXPECT_EQ(view.lampColor(1), LampColor::Black);
}

TEST(Sweep, ProbeThatThrowsGivesRedAndTheSweepGoesOn) {
  MemoryMonitorView view;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    view.setEnableValue(slot, 1);
    view.setAddressText(slot, "127.0.0." + std::to_string(slot + 1));
  }
  ScriptedEcho echo;
  echo.answer = [](const std::string& address, EchoReply&) -> ProbeResult {
    if (address == "127.0.0.4" || address == "127.0.0.10") {
      throw std::runtime_error("probe failed to run");
    }
    return {ip_status::kSuccess};
  };
  doping(view, echo);
  EXPECT_EQ(echo.probed.size(), 10u);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(view.lampColor(slot), slot == 3 || slot == 9 ? LampColor::Red : LampColor::Green)
        << slot;
  }
  EXPECT_EQ(view.probeReport(3).outcome, ProbeOutcome::ProbeError);
}

TEST(Sweep, OneZeroedBufferServesTheWholeSweep) {
  MemoryMonitorView view;
  for (int slot = 0; slot < 4; ++slot) {
    view.setEnableValue(slot, 1);
    view.setAddressText(slot, "127.0.0.1");
  }
  ScriptedEcho echo;
  std::vector<std::int32_t> statusSeen;
  std::vector<bool> zeroSeen;
  echo.answer = [&](const std::string&, EchoReply& reply) -> ProbeResult {
    statusSeen.push_back(reply.status());
    bool allZero = true;
    for (const std::uint8_t byte : reply.bytes) {
      allZero = allZero && byte == 0;
    }
    zeroSeen.push_back(allZero);
    reply.bytes.back() = 0xAB;  // left behind for the next probe
    const auto next = static_cast<std::int32_t>(100 + statusSeen.size());
    reply.setStatus(next);
    return {ip_status::kSuccess};
  };
  doping(view, echo);
  doping(view, echo);
  ASSERT_EQ(echo.buffers.size(), 8u);
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(echo.buffers[i], echo.buffers[0]) << "probe " << i << " got another buffer";
  }
  // Each probe sees what the previous probe of its sweep left; a new sweep starts from zero.
  EXPECT_EQ(statusSeen, (std::vector<std::int32_t>{0, 101, 102, 103, 0, 105, 106, 107}));
  EXPECT_EQ(zeroSeen, (std::vector<bool>{true, false, false, false, true, false, false, false}));
}

struct ReportCase {
  const char* name;
  std::int16_t enable;
  std::string address;
  ProbeResult result;
  bool throws;
  ProbeReport expected;
  LampColor lamp;
};

class SweepReports : public testing::TestWithParam<ReportCase> {};

constexpr auto kNotAnAddress = UnusableReason::NotAnAddress;
constexpr auto kNoFiles = UnusableReason::OutOfOpenFiles;
constexpr auto kOther = UnusableReason::OtherError;
constexpr auto kNotParsed = ProbeOutcome::NotAnAddress;
constexpr auto kNoSocket = ProbeOutcome::NoSocket;
constexpr const char* kWords = "Protocol not supported";

TEST_P(SweepReports, ReportEachSlotBeforeItsLamp) {
  MemoryMonitorView view;
  view.setEnableValue(0, GetParam().enable);
  view.setAddressText(0, GetParam().address);
  ScriptedEcho echo;
  echo.answer = [](const std::string&, EchoReply& reply) -> ProbeResult {
    reply.setRoundTripMs(3);
    if (GetParam().throws) {
      throw std::runtime_error("no ICMP service");
    }
    return GetParam().result;
  };
  doping(view, echo);
  EXPECT_EQ(view.probeReport(0), GetParam().expected);
  EXPECT_EQ(view.lampColor(0), GetParam().lamp);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SweepReports,
    testing::Values(
        ReportCase{"Reply", 1, "127.0.0.1", {0}, false, {ProbeOutcome::Answered, 0, {}, {}, 3}, G},
        ReportCase{"Timeout", 1, "127.0.0.1", {11010}, false, {ProbeOutcome::Failed, 11010}, R},
        ReportCase{"Unreachable", 1, "127.0.0.1", {11003}, false, {ProbeOutcome::Failed, 11003}, R},
        ReportCase{"Unparsable", 1, "abc", {-1, kNotAnAddress}, false, {kNotParsed, -1}, R},
        ReportCase{"NoFiles", 1, "127.0.0.1", {-1, kNoFiles}, false, {kNoSocket, -1, kNoFiles}, R},
        ReportCase{"OtherSocketError",
                   1,
                   "127.0.0.1",
                   {-1, kOther, kWords},
                   false,
                   {kNoSocket, -1, kOther, kWords},
                   R},
        ReportCase{"Throws", 1, "127.0.0.1", {0}, true, {ProbeOutcome::ProbeError, 11050}, R},
        ReportCase{"Unticked", 0, "127.0.0.1", {0}, false, {ProbeOutcome::NotWatched, 0}, B},
        ReportCase{"Greyed", 2, "127.0.0.1", {0}, false, {ProbeOutcome::NotWatched, 0}, B}),
    caseName);

}  // namespace
}  // namespace orlo
