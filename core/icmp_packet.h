#pragma once

// ICMP echo packets on POSIX sockets: building a request, reading what a socket received,
// telling whether it belongs to a request, and turning errors into probe statuses. Used by the
// Linux probe, the tests' echo responder and the probe benchmark alike.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/echo_probe.h"
#include "core/echo_probe_linux.h"
#include "core/unique_fd.h"

namespace orlo::icmp {

inline constexpr std::uint8_t kEchoReply = 0;
inline constexpr std::uint8_t kEchoRequest = 8;
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kMinIpHeaderSize = 20;

// The internet checksum (RFC 1071) of the bytes; an odd last byte counts as the high byte of a
// final 16-bit word. A message that carries its own correct checksum sums to 0.
std::uint16_t internetChecksum(std::span<const std::uint8_t> data);

// An echo message of the type (kEchoRequest or kEchoReply) with its checksum filled in.
std::vector<std::uint8_t> buildEcho(std::uint8_t type, std::uint16_t identifier,
                                    std::uint16_t sequence, std::span<const std::uint8_t> data);

// An IPv4 packet as a raw socket hands it over. Addresses are in network byte order.
struct IpPacket {
  std::uint32_t source;
  std::uint32_t destination;
  std::uint8_t ttl;
  std::span<const std::uint8_t> payload;  // what follows the header, up to the received length
};

// Nothing when the bytes are not a whole IPv4 header, options included.
std::optional<IpPacket> decodeIpPacket(std::span<const std::uint8_t> received);

// An ICMP message's header fields; identifier and sequence are those of echo messages and of
// the echo request an error quotes.
struct IcmpMessage {
  std::uint8_t type;
  std::uint8_t code;
  std::uint16_t identifier;
  std::uint16_t sequence;
  std::span<const std::uint8_t> data;  // what follows the header, up to the received length
};

// Nothing when the bytes are shorter than an ICMP header.
std::optional<IcmpMessage> decodeMessage(std::span<const std::uint8_t> received);

// What tells one echo request from every other ICMP message a socket may receive.
struct EchoRequestId {
  std::uint32_t target;  // network byte order
  std::uint16_t identifier;
  std::uint16_t sequence;
  SocketKind kind;
};

// The parts of a matched echo reply a probe keeps.
struct MatchedReply {
  std::uint8_t ttl;  // 0 on a datagram socket, which does not show the IP header
  std::span<const std::uint8_t> data;
};

// Whether bytes read from the request's socket are its echo reply: from the target, of type
// echo reply (a raw socket also sees echo requests, its own among them), with the request's
// sequence number and, on a raw socket, a valid checksum and the request's identifier. The
// kernel rewrites the identifier of datagram sockets to the socket's own port and delivers only
// the replies for that port, so there the identifier is not compared. `source` is the address
// the socket read the bytes from; `received` is the whole IP packet on a raw socket and the
// ICMP message alone on a datagram socket.
std::optional<MatchedReply> matchReply(const EchoRequestId& request, std::uint32_t source,
                                       std::span<const std::uint8_t> received);

// Whether an error queued on the request's socket is about this request: `destination` is where
// the quoted packet was sent, `quoted` the quoted ICMP message from its header on.
bool isErrorAbout(const EchoRequestId& request, std::uint32_t destination,
                  std::span<const std::uint8_t> quoted);

// The probe status for an errno of a failed send or of an error the kernel queued itself.
std::int32_t statusOfLocalError(int error);

// The probe status for an ICMP error message about a request.
std::int32_t statusOfIcmpError(std::uint8_t type, std::uint8_t code);

// Why no ICMP socket opened, from the errno of the attempt.
UnusableReason unusableReasonOf(int socketError);

// A probe's result when no ICMP socket opened: -1 and the reason, with the system's words for
// a reason of no other category.
ProbeResult noSocketResult(int socketError);

// An ICMP socket, or the errno of the failed attempt to open one.
struct IcmpSocket {
  UniqueFd fd;
  SocketKind kind;
  int error = 0;
};

// Opens an ICMP socket of the kind. A raw socket is told to pass only messages of
// `passedType`: without that it reads every ICMP message that reaches the host. The filter only
// spares reads, since every reader matches what it reads anyway, so a raw socket that refuses
// it is still used.
IcmpSocket openSocket(SocketKind kind, std::uint8_t passedType = kEchoReply);

// The probe's socket: a datagram socket, or a raw one where datagram sockets are not permitted
// (net.ipv4.ping_group_range) or not supported. On failure, the errno of the last attempt.
IcmpSocket openProbeSocket();

}  // namespace orlo::icmp
