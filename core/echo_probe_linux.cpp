// The echo probe on Linux: ICMP datagram sockets, or raw ones where those are not permitted.

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include "core/echo_probe_linux.h"
#include "core/icmp_packet.h"

namespace orlo {

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
// Packets that are not our reply are read and dropped at most this many at a time before the
// deadline is looked at again.
constexpr int kReadsPerWakeup = 64;

struct Exchange {
  int fd;
  icmp::EchoRequestId request;
  Clock::time_point sentAt;
  EchoReply& reply;

  std::uint32_t elapsedMs() const {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sentAt).count());
  }

  // Reads one queued error. Returns its status when it is about this request.
  std::optional<std::int32_t> takeError() const {
    std::uint8_t quoted[icmp::kHeaderSize + Module1::kMaxPayload];
    alignas(cmsghdr) std::uint8_t control[512];
    sockaddr_in destination{};
    iovec io{quoted, sizeof quoted};
    msghdr message{};
    message.msg_name = &destination;
    message.msg_namelen = sizeof destination;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t length = ::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    // The queued data is the echo request the error is about, starting at its ICMP header.
    if (length < 0 || !icmp::isErrorAbout(request, destination.sin_addr.s_addr,
                                          {quoted, static_cast<std::size_t>(length)})) {
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
                                      ? icmp::statusOfIcmpError(error.ee_type, error.ee_code)
                                      : icmp::statusOfLocalError(static_cast<int>(error.ee_errno));
      reply.setAddress(reporter.sin_family == AF_INET ? reporter.sin_addr.s_addr : request.target);
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
      const ssize_t length = ::recvfrom(fd, packet, sizeof packet, MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&source), &sourceLength);
      if (length < 0) {
        return false;
      }
      const auto matched = icmp::matchReply(request, source.sin_addr.s_addr,
                                            {packet, static_cast<std::size_t>(length)});
      if (!matched) {
        continue;
      }
      const std::size_t kept = std::min(matched->data.size(), EchoReply::kDataSize);
      std::memcpy(reply.bytes.data() + EchoReply::kRecordSize, matched->data.data(), kept);
      reply.setAddress(request.target);
      reply.setRoundTripMs(elapsedMs());
      reply.setDataSize(static_cast<std::uint16_t>(kept));
      reply.setTtl(matched->ttl);
      reply.setStatus(ip_status::kSuccess);
      return true;
    }
    return false;
  }

  std::int32_t fail(std::int32_t status) const {
    reply.setAddress(request.target);
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
      pollfd wait{fd, POLLIN, 0};
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

}  // namespace

Module1::Platform::Platform() {
  std::random_device entropy;
  identifier_ = static_cast<std::uint16_t>(entropy());
  nextSequence_ = static_cast<std::uint16_t>(entropy());
}

Module1::Module1() : platform_(std::make_unique<Platform>()) {}

Module1::~Module1() = default;

bool Module1::StartSockets() {
  return true;
}

ProbeResult Module1::sendEcho(std::uint32_t target, const std::string& payload, EchoReply& reply) {
  const icmp::IcmpSocket socket = icmp::openProbeSocket();
  if (!socket.fd.valid()) {
    return icmp::noSocketResult(socket.error);
  }
  Platform& state = *platform_;
  state.lastSocketKind_ = socket.kind;
  // ICMP errors about the request then arrive in the error queue instead of being dropped.
  const int on = 1;
  ::setsockopt(socket.fd.get(), SOL_IP, IP_RECVERR, &on, sizeof on);

  const std::uint16_t sequence = state.nextSequence_++;
  const std::vector<std::uint8_t> request =
      icmp::buildEcho(icmp::kEchoRequest, state.identifier_, sequence,
                      {reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()});
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = target;
  const Exchange exchange{
      socket.fd.get(), {target, state.identifier_, sequence, socket.kind}, Clock::now(), reply};
  const ssize_t sent =
      ::sendto(socket.fd.get(), request.data(), request.size(), 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
  if (sent < 0) {
    return {exchange.fail(icmp::statusOfLocalError(errno))};
  }
  if (static_cast<std::size_t>(sent) != request.size()) {
    return {exchange.fail(ip_status::kGeneralFailure)};
  }
  return {exchange.awaitReply()};
}

}  // namespace orlo
