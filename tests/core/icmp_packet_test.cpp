// The ICMP packet code the probe, the echo responder and the probe benchmark share, in one
// table. Every packet is a vector of exactly its own length, so that a read past the received
// bytes is caught by AddressSanitizer.

#include "core/icmp_packet.h"

#include <gtest/gtest.h>
#include <linux/icmp.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace orlo::icmp {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::uint32_t kTarget = htonl(0x7F000001);     // 127.0.0.1
const std::uint32_t kNeighbour = htonl(0x7F000002);  // 127.0.0.2
constexpr std::uint16_t kIdentifier = 0x4F52;
constexpr std::uint16_t kSequence = 0x1234;
constexpr std::uint8_t kTtl = 63;

Bytes echo(std::uint8_t type, std::uint16_t identifier = kIdentifier,
           std::uint16_t sequence = kSequence) {
  return buildEcho(type, identifier, sequence, Bytes{'E', 'c', 'h', 'o'});
}

// The message as a raw socket reads it: behind an IPv4 header with `headerWords` words.
Bytes overIp(const Bytes& message, std::uint32_t source = kTarget, std::uint8_t headerWords = 5) {
  Bytes packet(headerWords * 4u, 0);
  packet[0] = static_cast<std::uint8_t>(0x40 | headerWords);
  packet[8] = kTtl;
  packet[9] = IPPROTO_ICMP;
  std::memcpy(packet.data() + 12, &source, 4);
  std::memcpy(packet.data() + 16, &kNeighbour, 4);
  packet.insert(packet.end(), message.begin(), message.end());
  return packet;
}

Bytes cut(Bytes bytes, std::size_t length) {
  bytes.resize(length);
  return bytes;
}

Bytes corrupted(Bytes bytes) {
  bytes.back() ^= 0x01;
  return bytes;
}

const EchoRequestId kRaw{kTarget, kIdentifier, kSequence, SocketKind::Raw};
const EchoRequestId kDatagram{kTarget, kIdentifier, kSequence, SocketKind::Datagram};

// 1 when the bytes are the request's reply, 0 when not.
long long matches(const EchoRequestId& request, const Bytes& received,
                  std::uint32_t source = kTarget) {
  return matchReply(request, source, received) ? 1 : 0;
}

long long errorIsAbout(const EchoRequestId& request, const Bytes& quoted,
                       std::uint32_t destination = kTarget) {
  return isErrorAbout(request, destination, quoted) ? 1 : 0;
}

long long reasonOf(int error) {
  return static_cast<long long>(unusableReasonOf(error));
}

long long reason(UnusableReason reason) {
  return static_cast<long long>(reason);
}

TEST(IcmpPacketTest, Table) {
  const Bytes rfc1071Example{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
  const auto reply = matchReply(kRaw, kTarget, overIp(echo(kEchoReply)));
  const struct {
    const char* what;
    long long actual;
    long long expected;
  } cases[] = {
      {"checksum: RFC 1071 example", internetChecksum(rfc1071Example), 0x220D},
      {"checksum: odd length, last byte 0xF6", internetChecksum(cut(rfc1071Example, 7)), 0x2304},
      {"checksum: a built message sums to 0", internetChecksum(echo(kEchoRequest)), 0},

      {"raw: the reply", matches(kRaw, overIp(echo(kEchoReply))), 1},
      {"raw: the reply's TTL", reply ? reply->ttl : -1, kTtl},
      {"raw: the reply's data", reply ? static_cast<long long>(reply->data.size()) : -1, 4},
      {"raw: our own request", matches(kRaw, overIp(echo(kEchoRequest))), 0},
      {"raw: wrong sequence", matches(kRaw, overIp(echo(kEchoReply, kIdentifier, 0x1235))), 0},
      {"raw: wrong identifier", matches(kRaw, overIp(echo(kEchoReply, 0x4F53))), 0},
      {"raw: wrong source", matches(kRaw, overIp(echo(kEchoReply), kNeighbour), kNeighbour), 0},
      {"raw: bad checksum", matches(kRaw, overIp(corrupted(echo(kEchoReply)))), 0},
      {"raw: IP header cut short", matches(kRaw, cut(overIp(echo(kEchoReply)), 19)), 0},
      {"raw: ICMP header cut short", matches(kRaw, cut(overIp(echo(kEchoReply)), 27)), 0},
      {"raw: header longer than the packet",
       matches(kRaw, cut(overIp(echo(kEchoReply), kTarget, 15), 28)), 0},
      {"raw: header with options", matches(kRaw, overIp(echo(kEchoReply), kTarget, 6)), 1},
      {"datagram: the reply", matches(kDatagram, echo(kEchoReply)), 1},
      {"datagram: identifier is the kernel's", matches(kDatagram, echo(kEchoReply, 0x4F53)), 1},
      {"datagram: wrong sequence", matches(kDatagram, echo(kEchoReply, kIdentifier, 0x1233)), 0},
      {"datagram: wrong source", matches(kDatagram, echo(kEchoReply), kNeighbour), 0},
      {"datagram: ICMP header cut short", matches(kDatagram, cut(echo(kEchoReply), 7)), 0},

      {"error: about the request", errorIsAbout(kRaw, echo(kEchoRequest)), 1},
      {"error: about another destination", errorIsAbout(kRaw, echo(kEchoRequest), kNeighbour), 0},
      {"error: about another sequence", errorIsAbout(kRaw, echo(kEchoRequest, kIdentifier, 0x1235)),
       0},
      {"error: raw, another identifier", errorIsAbout(kRaw, echo(kEchoRequest, 0x4F53)), 0},
      {"error: datagram, another identifier", errorIsAbout(kDatagram, echo(kEchoRequest, 0x4F53)),
       1},
      {"error: quoting a reply", errorIsAbout(kRaw, echo(kEchoReply)), 0},
      {"error: quote cut short", errorIsAbout(kRaw, cut(echo(kEchoRequest), 7)), 0},

      {"ICMP: net unreachable", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_NET_UNREACH), 11002},
      {"ICMP: host unreachable", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_HOST_UNREACH), 11003},
      {"ICMP: protocol unreachable", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_PROT_UNREACH),
       11004},
      {"ICMP: port unreachable", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_PORT_UNREACH), 11005},
      {"ICMP: fragmentation needed", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_FRAG_NEEDED), 11009},
      {"ICMP: source route failed", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_SR_FAILED), 11012},
      {"ICMP: net unknown", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_NET_UNKNOWN), 11002},
      {"ICMP: host unknown", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_HOST_UNKNOWN), 11003},
      {"ICMP: net prohibited", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_NET_ANO), 11002},
      {"ICMP: host prohibited", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_HOST_ANO), 11003},
      {"ICMP: net unreachable for TOS", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_NET_UNR_TOS),
       11002},
      {"ICMP: host unreachable for TOS", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_HOST_UNR_TOS),
       11003},
      {"ICMP: administratively filtered", statusOfIcmpError(ICMP_DEST_UNREACH, ICMP_PKT_FILTERED),
       11003},
      {"ICMP: TTL expired in transit", statusOfIcmpError(ICMP_TIME_EXCEEDED, ICMP_EXC_TTL), 11013},
      {"ICMP: reassembly time expired", statusOfIcmpError(ICMP_TIME_EXCEEDED, ICMP_EXC_FRAGTIME),
       11014},
      {"ICMP: parameter problem", statusOfIcmpError(ICMP_PARAMETERPROB, 0), 11015},
      {"ICMP: source quench", statusOfIcmpError(ICMP_SOURCE_QUENCH, 0), 11016},
      {"ICMP: redirect is no known error", statusOfIcmpError(ICMP_REDIRECT, 0), 11050},

      {"local: ENETUNREACH", statusOfLocalError(ENETUNREACH), 11002},
      {"local: EHOSTUNREACH", statusOfLocalError(EHOSTUNREACH), 11003},
      {"local: EHOSTDOWN", statusOfLocalError(EHOSTDOWN), 11003},
      {"local: EACCES (prohibit route)", statusOfLocalError(EACCES), 11003},
      {"local: EMSGSIZE", statusOfLocalError(EMSGSIZE), 11009},
      {"local: ENOBUFS", statusOfLocalError(ENOBUFS), 11006},
      {"local: ENOMEM", statusOfLocalError(ENOMEM), 11006},
      {"local: EIO", statusOfLocalError(EIO), 11050},

      {"no socket: EACCES", reasonOf(EACCES), reason(UnusableReason::NotPermitted)},
      {"no socket: EPERM", reasonOf(EPERM), reason(UnusableReason::NotPermitted)},
      {"no socket: EMFILE", reasonOf(EMFILE), reason(UnusableReason::OutOfOpenFiles)},
      {"no socket: ENFILE", reasonOf(ENFILE), reason(UnusableReason::OutOfOpenFiles)},
      {"no socket: ENOMEM", reasonOf(ENOMEM), reason(UnusableReason::OutOfMemory)},
      {"no socket: ENOBUFS", reasonOf(ENOBUFS), reason(UnusableReason::OutOfMemory)},
      {"no socket: EPROTONOSUPPORT", reasonOf(EPROTONOSUPPORT), reason(UnusableReason::OtherError)},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.what);
    EXPECT_EQ(each.actual, each.expected);
  }
  EXPECT_EQ(
      noSocketResult(EPROTONOSUPPORT),
      (ProbeResult{ip_status::kUnusable, UnusableReason::OtherError, "Protocol not supported"}));
  EXPECT_EQ(noSocketResult(ENFILE),
            (ProbeResult{ip_status::kUnusable, UnusableReason::OutOfOpenFiles}));
}

}  // namespace
}  // namespace orlo::icmp
