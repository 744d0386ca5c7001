// The echo probe against hosts in network namespaces that the suite builds once and removes at
// its end: a client, a router and two hosts, one answering and one silent (see EchoLab). Every
// case runs once with unprivileged ICMP datagram sockets permitted in the client namespace and
// once without, so that the raw socket fallback runs.
//
// Needs root. Without it the cases are skipped, unless ORLO_REQUIRE_NETNS=1 asks for them to
// fail instead.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <limits>
#include <memory>
#include <ostream>
#include <string>

#include "core/echo_probe_linux.h"
#include "core/icmp_packet.h"
#include "tests/support/icmp_responder.h"
#include "tests/support/netns_topology.h"

namespace orlo {

// Names the socket kind in test output.
void PrintTo(SocketKind kind, std::ostream* out) {
  *out << (kind == SocketKind::Datagram ? "datagram" : "raw");
}

namespace {

using testing_netns::EchoLab;
using testing_netns::IcmpResponder;
using testing_netns::ThreadNetns;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kProbeTimeout{500};
// Long enough for the first probe to have given up, short enough for the second to still wait.
constexpr milliseconds kLateReplyDelay{700};
constexpr std::int32_t kNotProbed = std::numeric_limits<std::int32_t>::min();

in_addr_t networkOrder(const char* dotted) {
  in_addr parsed{};
  EXPECT_EQ(::inet_pton(AF_INET, dotted, &parsed), 1) << dotted;
  return parsed.s_addr;
}

std::string echoedData(const EchoReply& reply) {
  return std::string(reinterpret_cast<const char*>(reply.bytes.data() + EchoReply::kRecordSize),
                     reply.dataSize());
}

// A raw ICMP socket in the client namespace that sees every echo reply reaching it, whichever
// socket the probe uses. It shows that a late reply really arrived, so that a probe ignoring
// it proves something.
class ReplyWitness {
 public:
  ReplyWitness() : socket_(icmp::openSocket(SocketKind::Raw)) {}
  bool open() const { return socket_.fd.valid(); }

  // Whether an echo reply from `source` with `sequence` has come in.
  bool saw(in_addr_t source, std::uint16_t sequence) {
    std::uint8_t packet[2048];
    for (int read = 0; read < 64; ++read) {
      const ssize_t length = ::recv(socket_.fd.get(), packet, sizeof packet, MSG_DONTWAIT);
      if (length < 0) {
        return false;
      }
      const auto ip = icmp::decodeIpPacket({packet, static_cast<std::size_t>(length)});
      const auto message = ip ? icmp::decodeMessage(ip->payload) : std::nullopt;
      if (message && ip->source == source && message->sequence == sequence) {
        return true;
      }
    }
    return false;
  }

 private:
  icmp::IcmpSocket socket_;
};

struct ProbeOutcome {
  std::int32_t status;
  milliseconds elapsed;
  Clock::time_point endedAt;
};

// The namespaces are built once for all cases of both socket kinds; each case sets the
// client's datagram permission for its kind.
class EchoProbeInNamespaces : public testing::TestWithParam<SocketKind> {
 protected:
  static void SetUpTestSuite() { lab_.start(testing_netns::netnsUnavailableReason()); }

  static void TearDownTestSuite() { lab_.stop(); }

  void SetUp() override {
    lab_.requireReady();
    if (HasFatalFailure() || IsSkipped()) {
      return;
    }
    ASSERT_EQ(lab_->permitDatagramSockets(GetParam() == SocketKind::Datagram), "");
  }

  // One probe with the payload "Echo" from inside the client namespace.
  ProbeOutcome probe(const char* address, EchoReply& reply) {
    const ThreadNetns inClient(lab_->clientNamespace());
    if (!inClient.entered()) {
      ADD_FAILURE() << inClient.error();
      return {kNotProbed, milliseconds(0), Clock::now()};
    }
    const Clock::time_point start = Clock::now();
    const std::int32_t status = module_.ProbeHost(address, "Echo", reply);
    const Clock::time_point end = Clock::now();
    EXPECT_EQ(module_.platform().lastSocketKind(), GetParam())
        << "the probe did not use the socket kind the client namespace is set up for";
    return {status, std::chrono::duration_cast<milliseconds>(end - start), end};
  }

  std::unique_ptr<ReplyWitness> witnessInClient() {
    const ThreadNetns inClient(lab_->clientNamespace());
    EXPECT_TRUE(inClient.entered()) << inClient.error();
    return std::make_unique<ReplyWitness>();
  }

  static inline testing_netns::SuiteLab lab_;
  Module1 module_;
};

TEST_P(EchoProbeInNamespaces, HostThatAnswersGivesZero) {
  EchoReply reply{};
  const ProbeOutcome outcome = probe(EchoLab::kAnsweringHost, reply);
  EXPECT_EQ(outcome.status, ip_status::kSuccess);
  EXPECT_EQ(reply.status(), ip_status::kSuccess);
  EXPECT_EQ(reply.address(), networkOrder(EchoLab::kAnsweringHost));
  EXPECT_EQ(echoedData(reply), "Echo");
  if (GetParam() == SocketKind::Raw) {
    EXPECT_EQ(reply.ttl(), 63) << "the host sends with 64 and the router takes one off";
  }
}

TEST_P(EchoProbeInNamespaces, SilentHostTimesOutAfterTheFullTimeout) {
  EchoReply reply{};
  const ProbeOutcome outcome = probe(EchoLab::kSilentHost, reply);
  EXPECT_EQ(outcome.status, ip_status::kTimedOut);
  EXPECT_EQ(reply.status(), ip_status::kTimedOut);
  EXPECT_EQ(reply.address(), networkOrder(EchoLab::kSilentHost));
  EXPECT_GE(outcome.elapsed, kProbeTimeout);
}

TEST_P(EchoProbeInNamespaces, RouterReportingHostUnreachableEndsTheWaitEarly) {
  EchoReply reply{};
  const ProbeOutcome outcome = probe(EchoLab::kBehindRouterUnreachable, reply);
  EXPECT_EQ(outcome.status, ip_status::kDestHostUnreachable);
  EXPECT_EQ(reply.status(), ip_status::kDestHostUnreachable);
  EXPECT_EQ(reply.address(), networkOrder(EchoLab::kRouterToClient)) << "the router reported it";
  EXPECT_LT(outcome.elapsed, kProbeTimeout);
}

TEST_P(EchoProbeInNamespaces, LocalRoutesThatRefuseTheSendFailAtOnce) {
  for (const char* address : {EchoLab::kLocallyProhibited, EchoLab::kLocallyUnreachable}) {
    SCOPED_TRACE(address);
    EchoReply reply{};
    const ProbeOutcome outcome = probe(address, reply);
    EXPECT_EQ(outcome.status, ip_status::kDestHostUnreachable);
    EXPECT_EQ(reply.status(), ip_status::kDestHostUnreachable);
    EXPECT_EQ(reply.address(), networkOrder(address));
    EXPECT_LT(outcome.elapsed, kProbeTimeout);
  }
}

TEST_P(EchoProbeInNamespaces, SilentHostAfterAnAnswerWithTheSameBufferIsNotGreen) {
  EchoReply reply{};
  ASSERT_EQ(probe(EchoLab::kAnsweringHost, reply).status, ip_status::kSuccess);
  ASSERT_EQ(reply.status(), ip_status::kSuccess);
  const ProbeOutcome outcome = probe(EchoLab::kSilentHost, reply);
  EXPECT_NE(outcome.status, ip_status::kSuccess);
  EXPECT_NE(reply.status(), ip_status::kSuccess);
  EXPECT_EQ(reply.status(), outcome.status);
  EXPECT_EQ(reply.address(), networkOrder(EchoLab::kSilentHost));
}

// The responder's replies count, so a late one that is ignored below is ignored for its lateness.
TEST_P(EchoProbeInNamespaces, ResponderReplyCounts) {
  const IcmpResponder responder(lab_->silentNamespace(), {});
  ASSERT_EQ(responder.startError(), "");
  EchoReply reply{};
  const ProbeOutcome outcome = probe(EchoLab::kSilentHost, reply);
  EXPECT_EQ(outcome.status, ip_status::kSuccess) << responder.runError();
  EXPECT_EQ(reply.address(), networkOrder(EchoLab::kSilentHost));
  EXPECT_EQ(echoedData(reply), "Echo");
  EXPECT_EQ(responder.answers().size(), 1u);
}

TEST_P(EchoProbeInNamespaces, LateReplyDoesNotMakeTheNextProbeGreen) {
  const IcmpResponder responder(lab_->silentNamespace(), {kLateReplyDelay});
  ASSERT_EQ(responder.startError(), "");
  const auto witness = witnessInClient();
  ASSERT_TRUE(witness->open());

  EchoReply reply{};
  const ProbeOutcome first = probe(EchoLab::kSilentHost, reply);
  EXPECT_EQ(first.status, ip_status::kTimedOut);
  const ProbeOutcome second = probe(EchoLab::kSilentHost, reply);
  EXPECT_EQ(second.status, ip_status::kTimedOut);
  EXPECT_EQ(reply.status(), ip_status::kTimedOut);

  const auto answers = responder.answers();
  ASSERT_EQ(answers.size(), 1u) << responder.runError();
  EXPECT_GT(answers[0].repliedAt, first.endedAt);
  EXPECT_LT(answers[0].repliedAt, second.endedAt)
      << "the late reply came after the second probe, so it did not test that probe";
  EXPECT_TRUE(witness->saw(networkOrder(EchoLab::kSilentHost), answers[0].requestSequence));
}

INSTANTIATE_TEST_SUITE_P(SocketKinds, EchoProbeInNamespaces,
                         testing::Values(SocketKind::Datagram, SocketKind::Raw),
                         [](const testing::TestParamInfo<SocketKind>& testCase) {
                           return testCase.param == SocketKind::Datagram ? "Datagram" : "Raw";
                         });

}  // namespace
}  // namespace orlo
