#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orlo::testing_netns {

// A stand-in for a host's echo service: a thread inside a network namespace that captures echo
// requests on a raw ICMP socket and answers them itself, as late as told. The host's
// kernel must be kept from answering too (net.ipv4.icmp_echo_ignore_all=1).
class IcmpResponder {
 public:
  using Clock = std::chrono::steady_clock;

  struct Plan {
    std::chrono::milliseconds delay{0};  // from capture to reply
    int requestsToAnswer = 1;            // later requests are captured but not answered
  };

  struct Answer {
    std::uint16_t requestSequence;
    Clock::time_point capturedAt;
    Clock::time_point repliedAt;
  };

  // Starts the thread and waits until its sockets are open; see startError().
  IcmpResponder(std::string namespaceName, Plan plan);
  IcmpResponder(const IcmpResponder&) = delete;
  IcmpResponder& operator=(const IcmpResponder&) = delete;
  // Stops the thread and waits for it.
  ~IcmpResponder();

  // Empty when the responder listens; otherwise why it does not.
  const std::string& startError() const { return startError_; }
  // The replies sent so far, oldest first.
  std::vector<Answer> answers() const;
  // Requests captured so far, answered or not.
  int capturedCount() const { return captured_.load(); }
  // What went wrong after the start, if anything.
  std::string runError() const;

 private:
  void serve(std::promise<std::string> started);

  std::string namespaceName_;
  Plan plan_;
  std::string startError_;
  std::atomic<bool> stop_{false};
  std::atomic<int> captured_{0};
  mutable std::mutex mutex_;
  std::vector<Answer> answers_;
  std::string runError_;
  std::thread thread_;
};

}  // namespace orlo::testing_netns
