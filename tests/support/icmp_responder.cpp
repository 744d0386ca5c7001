#include "tests/support/icmp_responder.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>

#include "core/icmp_packet.h"
#include "core/unique_fd.h"
#include "tests/support/netns_topology.h"

namespace orlo::testing_netns {

namespace {

// However the test goes, the responder ends after this long or this many captured requests.
constexpr std::chrono::seconds kLifetime{15};
constexpr int kMaxCaptured = 32;
constexpr std::chrono::milliseconds kIdlePoll{20};

struct CapturedRequest {
  std::uint32_t source;       // who asked, network byte order
  std::uint32_t destination;  // whom they asked
  std::uint16_t identifier;
  std::uint16_t sequence;
  std::vector<std::uint8_t> data;
  IcmpResponder::Clock::time_point capturedAt;
};

std::optional<CapturedRequest> captureRequest(std::span<const std::uint8_t> received) {
  const auto packet = icmp::decodeIpPacket(received);
  const auto message = packet ? icmp::decodeMessage(packet->payload) : std::nullopt;
  if (!message || message->type != icmp::kEchoRequest) {
    return std::nullopt;
  }
  return CapturedRequest{packet->source,
                         packet->destination,
                         message->identifier,
                         message->sequence,
                         {message->data.begin(), message->data.end()},
                         IcmpResponder::Clock::now()};
}

// A whole IP packet from the address that was asked; the kernel fills in the IP checksum and
// the packet id.
std::vector<std::uint8_t> buildReply(const CapturedRequest& request) {
  const std::vector<std::uint8_t> echo =
      icmp::buildEcho(icmp::kEchoReply, request.identifier, request.sequence, request.data);
  std::vector<std::uint8_t> packet(icmp::kMinIpHeaderSize, 0);
  packet[0] = 0x45;  // version 4, five header words
  const auto totalSize = static_cast<std::uint16_t>(packet.size() + echo.size());
  packet[2] = static_cast<std::uint8_t>(totalSize >> 8);
  packet[3] = static_cast<std::uint8_t>(totalSize & 0xFF);
  packet[8] = 64;  // TTL
  packet[9] = IPPROTO_ICMP;
  std::memcpy(packet.data() + 12, &request.destination, 4);
  std::memcpy(packet.data() + 16, &request.source, 4);
  packet.insert(packet.end(), echo.begin(), echo.end());
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
  const icmp::IcmpSocket listener = icmp::openSocket(SocketKind::Raw, icmp::kEchoRequest);
  if (!listener.fd.valid()) {
    started.set_value(std::string("raw ICMP socket: ") + std::strerror(listener.error));
    return;
  }
  // IPPROTO_RAW sockets take whole IP packets, so the source address is ours to choose.
  const UniqueFd sender(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW));
  if (!sender.valid()) {
    started.set_value(std::string("raw IP socket: ") + std::strerror(errno));
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
    pollfd readable{listener.fd.get(), POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(wait.count())) > 0) {
      std::uint8_t packet[2048];
      const ssize_t length = ::recv(listener.fd.get(), packet, sizeof packet, MSG_DONTWAIT);
      if (length > 0) {
        if (auto request = captureRequest({packet, static_cast<std::size_t>(length)})) {
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
      const std::vector<std::uint8_t> reply = buildReply(request);
      sockaddr_in destination{};
      destination.sin_family = AF_INET;
      destination.sin_addr.s_addr = request.source;
      // Held across the send: whoever has seen the reply arrive finds it in answers().
      const std::lock_guard lock(mutex_);
      const Clock::time_point repliedAt = Clock::now();
      const ssize_t sent =
          ::sendto(sender.get(), reply.data(), reply.size(), 0,
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
