#include "tests/support/icmp_responder.h"

#include <linux/icmp.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <span>

#include "tests/support/netns_topology.h"

namespace orlo::testing_netns {

namespace {

// However the test goes, the responder ends after this long or this many captured requests.
constexpr std::chrono::seconds kLifetime{15};
constexpr int kMaxCaptured = 32;
constexpr std::chrono::milliseconds kIdlePoll{20};
constexpr std::size_t kIpHeaderSize = 20;
constexpr std::size_t kIcmpHeaderSize = 8;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

std::uint16_t checksum(std::span<const std::uint8_t> data) {
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

void putBigEndian16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value & 0xFF);
}

std::uint16_t bigEndian16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}

struct CapturedRequest {
  in_addr_t source;       // who asked
  in_addr_t destination;  // whom they asked
  std::uint16_t identifier;
  std::uint16_t sequence;
  std::vector<std::uint8_t> payload;
  IcmpResponder::Clock::time_point capturedAt;
};

// Reads an echo request out of a packet from a raw socket, IP header first.
std::optional<CapturedRequest> parseRequest(std::span<const std::uint8_t> packet) {
  if (packet.size() < kIpHeaderSize) {
    return std::nullopt;
  }
  const std::size_t headerSize = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
  if (headerSize < kIpHeaderSize || packet.size() < headerSize + kIcmpHeaderSize) {
    return std::nullopt;
  }
  const auto icmp = packet.subspan(headerSize);
  if (icmp[0] != ICMP_ECHO) {
    return std::nullopt;
  }
  CapturedRequest request;
  std::memcpy(&request.source, packet.data() + 12, 4);
  std::memcpy(&request.destination, packet.data() + 16, 4);
  request.identifier = bigEndian16(icmp.data() + 4);
  request.sequence = bigEndian16(icmp.data() + 6);
  request.payload.assign(icmp.begin() + kIcmpHeaderSize, icmp.end());
  request.capturedAt = IcmpResponder::Clock::now();
  return request;
}

// A whole IP packet; the kernel fills in the IP checksum and the packet id.
std::vector<std::uint8_t> buildReply(const CapturedRequest& request,
                                     const IcmpResponder::Plan& plan) {
  const std::size_t icmpSize = kIcmpHeaderSize + request.payload.size();
  std::vector<std::uint8_t> packet(kIpHeaderSize + icmpSize, 0);
  packet[0] = 0x45;  // version 4, five header words
  putBigEndian16(packet.data() + 2, static_cast<std::uint16_t>(packet.size()));
  packet[8] = 64;  // TTL
  packet[9] = IPPROTO_ICMP;
  const in_addr_t source =
      plan.fault == ReplyFault::SpoofedSource ? plan.spoofedSource : request.destination;
  std::memcpy(packet.data() + 12, &source, 4);
  std::memcpy(packet.data() + 16, &request.source, 4);

  std::uint8_t* icmp = packet.data() + kIpHeaderSize;
  icmp[0] = ICMP_ECHOREPLY;
  const std::uint16_t identifier =
      request.identifier + (plan.fault == ReplyFault::WrongIdentifier ? 1 : 0);
  const std::uint16_t sequence =
      request.sequence + (plan.fault == ReplyFault::WrongSequence ? 1 : 0);
  putBigEndian16(icmp + 4, identifier);
  putBigEndian16(icmp + 6, sequence);
  std::copy(request.payload.begin(), request.payload.end(), icmp + kIcmpHeaderSize);
  putBigEndian16(icmp + 2, checksum({icmp, icmpSize}));
  return packet;
}

}  // namespace

IcmpResponder::IcmpResponder(std::string namespaceName, Plan plan)
    : namespaceName_(std::move(namespaceName)), plan_(plan) {
  std::promise<std::string> started;
  std::future<std::string> startOutcome = started.get_future();
  thread_ = std::thread(&IcmpResponder::serve, this, std::move(started));
  if (startOutcome.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    startError_ = "the responder did not start within 5 s";
    return;
  }
  startError_ = startOutcome.get();
}

IcmpResponder::~IcmpResponder() {
  stop_ = true;
  thread_.join();
}

std::vector<IcmpResponder::Answer> IcmpResponder::answers() const {
  const std::lock_guard lock(mutex_);
  return answers_;
}

std::string IcmpResponder::runError() const {
  const std::lock_guard lock(mutex_);
  return runError_;
}

void IcmpResponder::serve(std::promise<std::string> started) {
  const ThreadNetns inside(namespaceName_);
  if (!inside.entered()) {
    started.set_value(inside.error());
    return;
  }
  const Descriptor listener(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
  // IPPROTO_RAW sockets take whole IP packets, so the source address is ours to choose.
  const Descriptor sender(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW));
  if (listener.fd() < 0 || sender.fd() < 0) {
    started.set_value(std::string("raw socket: ") + std::strerror(errno));
    return;
  }
  const icmp_filter onlyRequests{~(1U << ICMP_ECHO)};
  if (::setsockopt(listener.fd(), SOL_RAW, ICMP_FILTER, &onlyRequests, sizeof onlyRequests) != 0) {
    started.set_value(std::string("ICMP_FILTER: ") + std::strerror(errno));
    return;
  }
  started.set_value({});

  const Clock::time_point end = Clock::now() + kLifetime;
  std::deque<CapturedRequest> waiting;  // captured, to be answered in order
  int scheduled = 0;
  while (!stop_ && Clock::now() < end && captured_ < kMaxCaptured) {
    std::chrono::milliseconds wait = kIdlePoll;
    if (!waiting.empty()) {
      const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(
          waiting.front().capturedAt + plan_.delay - Clock::now());
      wait = std::clamp(untilDue, std::chrono::milliseconds(0), kIdlePoll);
    }
    pollfd readable{listener.fd(), POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(wait.count())) > 0) {
      std::uint8_t packet[2048];
      const ssize_t length = ::recv(listener.fd(), packet, sizeof packet, MSG_DONTWAIT);
      if (length > 0) {
        if (auto request = parseRequest({packet, static_cast<std::size_t>(length)})) {
          ++captured_;
          if (scheduled < plan_.requestsToAnswer) {
            ++scheduled;
            waiting.push_back(std::move(*request));
          }
        }
      }
    }
    while (!waiting.empty() && Clock::now() >= waiting.front().capturedAt + plan_.delay) {
      const CapturedRequest& request = waiting.front();
      const std::vector<std::uint8_t> reply = buildReply(request, plan_);
      sockaddr_in destination{};
      destination.sin_family = AF_INET;
      destination.sin_addr.s_addr = request.source;
      // Held across the send: whoever has seen the reply arrive finds it in answers().
      const std::lock_guard lock(mutex_);
      const Clock::time_point repliedAt = Clock::now();
      const ssize_t sent =
          ::sendto(sender.fd(), reply.data(), reply.size(), 0,
                   reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
      if (sent == static_cast<ssize_t>(reply.size())) {
        answers_.push_back({request.sequence, request.capturedAt, repliedAt});
      } else {
        runError_ += std::string("sendto: ") + std::strerror(errno) + "\n";
      }
      waiting.pop_front();
    }
  }
}

}  // namespace orlo::testing_netns
