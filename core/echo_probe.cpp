#include "core/echo_probe.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <span>
#include <vector>

namespace orlo {

namespace {

template <typename T>
T readField(const std::array<std::uint8_t, EchoReply::kSize>& bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

template <typename T>
void writeField(std::array<std::uint8_t, EchoReply::kSize>& bytes, std::size_t offset, T value) {
  std::memcpy(bytes.data() + offset, &value, sizeof value);
}

}  // namespace

std::int32_t EchoReply::status() const {
  return readField<std::int32_t>(bytes, kStatusOffset);
}
void EchoReply::setStatus(std::int32_t status) {
  writeField(bytes, kStatusOffset, status);
}
std::uint32_t EchoReply::address() const {
  return readField<std::uint32_t>(bytes, kAddressOffset);
}
void EchoReply::setAddress(std::uint32_t networkOrder) {
  writeField(bytes, kAddressOffset, networkOrder);
}
std::uint32_t EchoReply::roundTripMs() const {
  return readField<std::uint32_t>(bytes, kRoundTripOffset);
}
void EchoReply::setRoundTripMs(std::uint32_t milliseconds) {
  writeField(bytes, kRoundTripOffset, milliseconds);
}
std::uint16_t EchoReply::dataSize() const {
  return readField<std::uint16_t>(bytes, kDataSizeOffset);
}
void EchoReply::setDataSize(std::uint16_t size) {
  writeField(bytes, kDataSizeOffset, size);
}
std::uint8_t EchoReply::ttl() const {
  return bytes[kTtlOffset];
}
void EchoReply::setTtl(std::uint8_t ttl) {
  bytes[kTtlOffset] = ttl;
}

std::optional<std::uint32_t> parseIpv4Address(const std::string& text) {
  if (text.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  const in_addr_t parsed = ::inet_addr(text.c_str());
  if (parsed == INADDR_NONE) {
    return std::nullopt;
  }
  return parsed;
}

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kTimeout{500};
constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::size_t kMinIpHeaderSize = 20;
// Packets that are not our reply are read and dropped at most this many at a time before the
// deadline is looked at again.
constexpr int kReadsPerWakeup = 64;

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

struct IcmpSocket {
  int fd;
  SocketKind kind;
};

// Returns -1 when neither kind of socket opens.
IcmpSocket openIcmpSocket() {
  const int datagram = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (datagram >= 0) {
    return {datagram, SocketKind::Datagram};
  }
  if (errno != EACCES && errno != EPERM && errno != EPROTONOSUPPORT && errno != EAFNOSUPPORT) {
    return {-1, SocketKind::Datagram};
  }
  return {::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP), SocketKind::Raw};
}

std::uint16_t internetChecksum(std::span<const std::uint8_t> data) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
  }
  if (data.size() % 2 != 0) {
    sum += static_cast<std::uint32_t>(data.back() << 8);
  }
  while (sum >> 16 != 0) {
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return static_cast<std::uint16_t>(~sum);
}

std::uint16_t readBigEndian16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}

std::vector<std::uint8_t> echoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                      const std::string& payload) {
  std::vector<std::uint8_t> packet(kIcmpHeaderSize + payload.size(), 0);
  packet[0] = ICMP_ECHO;
  packet[4] = static_cast<std::uint8_t>(identifier >> 8);
  packet[5] = static_cast<std::uint8_t>(identifier & 0xFF);
  packet[6] = static_cast<std::uint8_t>(sequence >> 8);
  packet[7] = static_cast<std::uint8_t>(sequence & 0xFF);
  std::memcpy(packet.data() + kIcmpHeaderSize, payload.data(), payload.size());
  const std::uint16_t checksum = internetChecksum(packet);
  packet[2] = static_cast<std::uint8_t>(checksum >> 8);
  packet[3] = static_cast<std::uint8_t>(checksum & 0xFF);
  return packet;
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

struct Exchange {
  const IcmpSocket& socket;
  std::uint32_t target;  // network byte order
  std::uint16_t identifier;
  std::uint16_t sequence;
  Clock::time_point sentAt;
  EchoReply& reply;

  // Whether an echo header (at the start of the bytes) belongs to this request. The kernel
  // rewrites the identifier of datagram sockets to the socket's own port, and delivers only
  // replies for that port, so the identifier is compared on raw sockets alone.
  bool isOurs(const std::uint8_t* icmp) const {
    return readBigEndian16(icmp + 6) == sequence &&
           (socket.kind == SocketKind::Datagram || readBigEndian16(icmp + 4) == identifier);
  }

  std::uint32_t elapsedMs() const {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sentAt).count());
  }

  // Reads one queued error. Returns its status when it is about this request.
  std::optional<std::int32_t> takeError() const {
    std::uint8_t original[kIcmpHeaderSize + Module1::kMaxPayload];
    alignas(cmsghdr) std::uint8_t control[512];
    sockaddr_in destination{};
    iovec io{original, sizeof original};
    msghdr message{};
    message.msg_name = &destination;
    message.msg_namelen = sizeof destination;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t length = ::recvmsg(socket.fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (length < 0) {
      return std::nullopt;
    }
    // The queued data is the echo request the error is about, starting at its ICMP header.
    if (static_cast<std::size_t>(length) < kIcmpHeaderSize || !isOurs(original) ||
        destination.sin_addr.s_addr != target) {
      return std::nullopt;
    }
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
      if (header->cmsg_level != SOL_IP || header->cmsg_type != IP_RECVERR) {
        continue;
      }
      sock_extended_err error;
      std::memcpy(&error, CMSG_DATA(header), sizeof error);
      sockaddr_in reporter;
      std::memcpy(&reporter,
                  SO_EE_OFFENDER(reinterpret_cast<sock_extended_err*>(CMSG_DATA(header))),
                  sizeof reporter);
      const std::int32_t status = error.ee_origin == SO_EE_ORIGIN_ICMP
                                      ? statusOfIcmpError(error.ee_type, error.ee_code)
                                      : statusOfLocalError(static_cast<int>(error.ee_errno));
      reply.setAddress(reporter.sin_family == AF_INET ? reporter.sin_addr.s_addr : target);
      reply.setRoundTripMs(elapsedMs());
      reply.setStatus(status);
      return status;
    }
    return std::nullopt;
  }

  // Reads queued packets until our reply turns up or nothing is left. Returns whether it did.
  bool takeReply() const {
    std::uint8_t packet[4096];
    for (int read = 0; read < kReadsPerWakeup; ++read) {
      sockaddr_in source{};
      socklen_t sourceLength = sizeof source;
      const ssize_t length = ::recvfrom(socket.fd, packet, sizeof packet, MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&source), &sourceLength);
      if (length < 0) {
        return false;
      }
      if (source.sin_addr.s_addr != target) {
        continue;
      }
      std::span<const std::uint8_t> received(packet, static_cast<std::size_t>(length));
      std::uint8_t ttl = 0;
      if (socket.kind == SocketKind::Raw) {
        if (received.size() < kMinIpHeaderSize) {
          continue;
        }
        const std::size_t headerSize = static_cast<std::size_t>(received[0] & 0x0F) * 4;
        if (headerSize < kMinIpHeaderSize || headerSize > received.size()) {
          continue;
        }
        ttl = received[8];
        received = received.subspan(headerSize);
        if (received.size() >= kIcmpHeaderSize && internetChecksum(received) != 0) {
          continue;
        }
      }
      if (received.size() < kIcmpHeaderSize || received[0] != ICMP_ECHOREPLY ||
          !isOurs(received.data())) {
        continue;
      }
      const auto data = received.subspan(kIcmpHeaderSize);
      const std::size_t kept = std::min(data.size(), EchoReply::kDataSize);
      std::memcpy(reply.bytes.data() + EchoReply::kRecordSize, data.data(), kept);
      reply.setAddress(target);
      reply.setRoundTripMs(elapsedMs());
      reply.setDataSize(static_cast<std::uint16_t>(kept));
      reply.setTtl(ttl);
      reply.setStatus(ip_status::kSuccess);
      return true;
    }
    return false;
  }

  std::int32_t fail(std::int32_t status) const {
    reply.setAddress(target);
    reply.setRoundTripMs(elapsedMs());
    reply.setStatus(status);
    return status;
  }

  std::int32_t awaitReply() const {
    const Clock::time_point deadline = sentAt + kTimeout;
    for (;;) {
      const auto remaining =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (remaining <= 0) {
        return fail(ip_status::kTimedOut);
      }
      pollfd wait{socket.fd, POLLIN, 0};
      const int ready = ::poll(&wait, 1, static_cast<int>(remaining));
      if (ready < 0) {
        if (errno == EINTR) {
          continue;
        }
        return fail(ip_status::kGeneralFailure);
      }
      if ((wait.revents & POLLERR) != 0) {
        if (const auto status = takeError()) {
          return *status;
        }
      }
      if ((wait.revents & POLLIN) != 0 && takeReply()) {
        return ip_status::kSuccess;
      }
    }
  }
};

void enableErrorQueue(const IcmpSocket& socket) {
  const int on = 1;
  ::setsockopt(socket.fd, SOL_IP, IP_RECVERR, &on, sizeof on);
  if (socket.kind == SocketKind::Raw) {
    // Only echo replies are read as packets; errors arrive through the error queue.
    icmp_filter filter{~(1U << ICMP_ECHOREPLY)};
    ::setsockopt(socket.fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
  }
}

}  // namespace

Module1::Module1() {
  std::random_device entropy;
  identifier_ = static_cast<std::uint16_t>(entropy());
  nextSequence_ = static_cast<std::uint16_t>(entropy());
}

bool Module1::StartSockets() {
  return true;
}

std::int32_t Module1::ProbeHost(const std::string& address, const std::string& payload,
                                EchoReply& reply) {
  const std::optional<std::uint32_t> target = parseIpv4Address(address);
  if (!target) {
    return ip_status::kUnusable;
  }
  if (payload.size() > kMaxPayload) {
    reply.setAddress(*target);
    reply.setStatus(ip_status::kBufferTooSmall);
    return ip_status::kBufferTooSmall;
  }
  const IcmpSocket icmp = openIcmpSocket();
  if (icmp.fd < 0) {
    return ip_status::kUnusable;
  }
  const Socket owner(icmp.fd);
  lastSocketKind_ = icmp.kind;
  enableErrorQueue(icmp);

  const std::uint16_t sequence = nextSequence_++;
  const std::vector<std::uint8_t> request = echoRequest(identifier_, sequence, payload);
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = *target;
  const Exchange exchange{icmp, *target, identifier_, sequence, Clock::now(), reply};
  const ssize_t sent =
      ::sendto(icmp.fd, request.data(), request.size(), 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
  if (sent < 0) {
    return exchange.fail(statusOfLocalError(errno));
  }
  if (static_cast<std::size_t>(sent) != request.size()) {
    return exchange.fail(ip_status::kGeneralFailure);
  }
  return exchange.awaitReply();
}

}  // namespace orlo
