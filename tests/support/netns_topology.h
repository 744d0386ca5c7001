#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/unique_fd.h"

namespace orlo::testing_netns {

// The outcome of one helper program run. exitCode is -1 when it could not be started, did not
// end normally, or was killed for running past its time limit.
struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

// Runs a program (looked up on PATH) with its arguments, waits at most `limit` for it, and
// kills it when it takes longer.
CommandResult runCommand(const std::vector<std::string>& argv,
                         std::chrono::milliseconds limit = std::chrono::seconds(10));

// Why network namespace tests cannot run here, or nothing when they can.
std::optional<std::string> netnsUnavailableReason();

// Skips the running test because of `reason`, or fails it when ORLO_REQUIRE_NETNS=1 asks for the
// tests that need namespaces to run. Call it from SetUp, and return from SetUp at once.
void skipOrFailUnavailable(const std::string& reason);

// Removes "orlo-<pid>-..." namespaces left behind by test processes that no longer run.
void sweepStaleNamespaces();

// Moves the calling thread into a named network namespace and back again when it goes out of
// scope. Other threads of the process stay where they are.
class ThreadNetns {
 public:
  explicit ThreadNetns(const std::string& namespaceName);
  ThreadNetns(const ThreadNetns&) = delete;
  ThreadNetns& operator=(const ThreadNetns&) = delete;
  ~ThreadNetns();

  bool entered() const { return entered_; }
  const std::string& error() const { return error_; }

 private:
  UniqueFd home_;
  bool entered_ = false;
  std::string error_;
};

// Four namespaces joined by veth links, all in documentation address ranges and with no
// default route anywhere:
//
//   client 192.0.2.2 -- 192.0.2.1 router 198.51.100.1  -- 198.51.100.2  answering host
//                                        198.51.100.17 -- 198.51.100.18 silent host
//
// The router forwards and answers anything for 203.0.113.0/24 with host unreachable. The
// client itself has a prohibit route and an unreachable route for one address each. The
// silent host ignores echo requests. The client does not permit unprivileged ICMP datagram
// sockets until told to.
class EchoLab {
 public:
  static constexpr const char* kClient = "192.0.2.2";
  static constexpr const char* kRouterToClient = "192.0.2.1";
  static constexpr const char* kAnsweringHost = "198.51.100.2";
  static constexpr const char* kSilentHost = "198.51.100.18";
  // Assigned to nobody, in the silent host's subnet.
  static constexpr const char* kSilentHostNeighbour = "198.51.100.19";
  static constexpr const char* kBehindRouterUnreachable = "203.0.113.20";
  static constexpr const char* kLocallyProhibited = "203.0.113.10";
  static constexpr const char* kLocallyUnreachable = "203.0.113.11";

  EchoLab();
  EchoLab(const EchoLab&) = delete;
  EchoLab& operator=(const EchoLab&) = delete;
  // Removes whatever remove() has not.
  ~EchoLab();

  // Creates the namespaces and links. Returns an empty text on success, otherwise what failed.
  std::string build();
  // Whether the client lets every user open ICMP datagram sockets (net.ipv4.ping_group_range):
  // otherwise a probe there falls back to a raw socket. Returns an empty text on success.
  std::string permitDatagramSockets(bool permitted);
  // Deletes every namespace this lab created. Returns an empty text on success.
  std::string remove();

  std::string clientNamespace() const { return prefix_ + "-c"; }
  std::string routerNamespace() const { return prefix_ + "-r"; }
  std::string answeringNamespace() const { return prefix_ + "-a"; }
  std::string silentNamespace() const { return prefix_ + "-s"; }

 private:
  std::string run(const std::vector<std::string>& argv);
  std::string addNamespace(const std::string& name);
  std::string inNamespace(const std::string& name, const std::vector<std::string>& ipArguments);
  std::string setSysctl(const std::string& name, const std::string& key, const std::string& value);

  std::string prefix_;
  std::vector<std::string> created_;
};

// One EchoLab for all cases of a suite: start() from SetUpTestSuite, requireReady() from SetUp,
// stop() from TearDownTestSuite. The lab is removed when the suite ends, whatever its cases did;
// a process that dies first leaves it to the next run's sweep of stale namespaces.
class SuiteLab {
 public:
  // Sweeps stale namespaces and builds the lab, unless `unavailable` says why it cannot be built
  // here. Returns whether it tried.
  bool start(std::optional<std::string> unavailable);
  // Skips or fails the running test when the lab was not built; SetUp returns at once when the
  // test HasFatalFailure() or IsSkipped() after it.
  void requireReady() const;
  // Removes the lab and fails the suite when any of its namespaces is left over.
  void stop();

  EchoLab* operator->() const { return lab_.get(); }

 private:
  std::optional<std::string> unavailable_;
  std::unique_ptr<EchoLab> lab_;
  std::string buildFailure_;
};

}  // namespace orlo::testing_netns
