#include "core/icmp_packet.h"

#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace orlo::icmp {
namespace {

std::uint16_t readBigEndian16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}

void writeBigEndian16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value & 0xFF);
}

bool carriesRequestNumbers(const EchoRequestId& request, const IcmpMessage& message) {
  return message.sequence == request.sequence &&
         (request.kind == SocketKind::Datagram || message.identifier == request.identifier);
}

}  // namespace

std::uint16_t internetChecksum(std::span<const std::uint8_t> data) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    sum += readBigEndian16(data.data() + i);
  }
  if (data.size() % 2 != 0) {
    sum += static_cast<std::uint32_t>(data.back()) << 8;
  }
  while (sum >> 16 != 0) {
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return static_cast<std::uint16_t>(~sum);
}

std::vector<std::uint8_t> buildEcho(std::uint8_t type, std::uint16_t identifier,
                                    std::uint16_t sequence, std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> message(kHeaderSize + data.size(), 0);
  message[0] = type;
  writeBigEndian16(message.data() + 4, identifier);
  writeBigEndian16(message.data() + 6, sequence);
  std::copy(data.begin(), data.end(), message.begin() + kHeaderSize);
  writeBigEndian16(message.data() + 2, internetChecksum(message));
  return message;
}

std::optional<IpPacket> decodeIpPacket(std::span<const std::uint8_t> received) {
  if (received.size() < kMinIpHeaderSize || received[0] >> 4 != 4) {
    return std::nullopt;
  }
  const std::size_t headerSize = static_cast<std::size_t>(received[0] & 0x0F) * 4;
  if (headerSize < kMinIpHeaderSize || headerSize > received.size()) {
    return std::nullopt;
  }
  IpPacket packet{};
  std::memcpy(&packet.source, received.data() + 12, sizeof packet.source);
  std::memcpy(&packet.destination, received.data() + 16, sizeof packet.destination);
  packet.ttl = received[8];
  packet.payload = received.subspan(headerSize);
  return packet;
}

std::optional<IcmpMessage> decodeMessage(std::span<const std::uint8_t> received) {
  if (received.size() < kHeaderSize) {
    return std::nullopt;
  }
  return IcmpMessage{received[0], received[1], readBigEndian16(received.data() + 4),
                     readBigEndian16(received.data() + 6), received.subspan(kHeaderSize)};
}

std::optional<MatchedReply> matchReply(const EchoRequestId& request, std::uint32_t source,
                                       std::span<const std::uint8_t> received) {
  if (source != request.target) {
    return std::nullopt;
  }
  std::uint8_t ttl = 0;
  if (request.kind == SocketKind::Raw) {
    const std::optional<IpPacket> packet = decodeIpPacket(received);
    if (!packet || internetChecksum(packet->payload) != 0) {
      return std::nullopt;
    }
    ttl = packet->ttl;
    received = packet->payload;
  }
  const std::optional<IcmpMessage> message = decodeMessage(received);
  if (!message || message->type != kEchoReply || !carriesRequestNumbers(request, *message)) {
    return std::nullopt;
  }
  return MatchedReply{ttl, message->data};
}

bool isErrorAbout(const EchoRequestId& request, std::uint32_t destination,
                  std::span<const std::uint8_t> quoted) {
  const std::optional<IcmpMessage> message = decodeMessage(quoted);
  return destination == request.target && message && message->type == kEchoRequest &&
         carriesRequestNumbers(request, *message);
}

std::int32_t statusOfLocalError(int error) {
  switch (error) {
    case ENETUNREACH:
      return ip_status::kDestNetUnreachable;
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case EACCES:  // a prohibit route, or a broadcast address
      return ip_status::kDestHostUnreachable;
    case EMSGSIZE:
      return ip_status::kPacketTooBig;
    case ENOBUFS:
    case ENOMEM:
      return ip_status::kNoResources;
    default:
      return ip_status::kGeneralFailure;
  }
}

std::int32_t statusOfIcmpError(std::uint8_t type, std::uint8_t code) {
  switch (type) {
    case ICMP_DEST_UNREACH:
      switch (code) {
        case ICMP_NET_UNREACH:
        case ICMP_NET_UNKNOWN:
        case ICMP_NET_ANO:
        case ICMP_NET_UNR_TOS:
          return ip_status::kDestNetUnreachable;
        case ICMP_PROT_UNREACH:
          return ip_status::kDestProtocolUnreachable;
        case ICMP_PORT_UNREACH:
          return ip_status::kDestPortUnreachable;
        case ICMP_FRAG_NEEDED:
          return ip_status::kPacketTooBig;
        case ICMP_SR_FAILED:
          return ip_status::kBadRoute;
        default:
          return ip_status::kDestHostUnreachable;
      }
    case ICMP_TIME_EXCEEDED:
      return code == ICMP_EXC_FRAGTIME ? ip_status::kTtlExpiredReassembly
                                       : ip_status::kTtlExpiredTransit;
    case ICMP_PARAMETERPROB:
      return ip_status::kParameterProblem;
    case ICMP_SOURCE_QUENCH:
      return ip_status::kSourceQuench;
    default:
      return ip_status::kGeneralFailure;
  }
}

UnusableReason unusableReasonOf(int socketError) {
  switch (socketError) {
    case EACCES:
    case EPERM:
      return UnusableReason::NotPermitted;
    case EMFILE:
    case ENFILE:
      return UnusableReason::OutOfOpenFiles;
    case ENOMEM:
    case ENOBUFS:
      return UnusableReason::OutOfMemory;
    default:
      return UnusableReason::OtherError;
  }
}

ProbeResult noSocketResult(int socketError) {
  const UnusableReason reason = unusableReasonOf(socketError);
  return {ip_status::kUnusable, reason,
          reason == UnusableReason::OtherError
              ? std::error_code(socketError, std::generic_category()).message()
              : std::string()};
}

IcmpSocket openSocket(SocketKind kind, std::uint8_t passedType) {
  const int type = kind == SocketKind::Raw ? SOCK_RAW : SOCK_DGRAM;
  IcmpSocket socket{UniqueFd(::socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP)), kind};
  if (!socket.fd.valid()) {
    socket.error = errno;
    return socket;
  }
  if (kind == SocketKind::Raw) {
    const icmp_filter onlyPassedType{~(1U << passedType)};
    ::setsockopt(socket.fd.get(), SOL_RAW, ICMP_FILTER, &onlyPassedType, sizeof onlyPassedType);
  }
  return socket;
}

IcmpSocket openProbeSocket() {
  IcmpSocket datagram = openSocket(SocketKind::Datagram);
  const int refusal = datagram.error;
  if (datagram.fd.valid() || (refusal != EACCES && refusal != EPERM && refusal != EPROTONOSUPPORT &&
                              refusal != EAFNOSUPPORT)) {
    return datagram;
  }
  return openSocket(SocketKind::Raw);
}

}  // namespace orlo::icmp
