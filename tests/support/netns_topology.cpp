#include "tests/support/netns_topology.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <utility>

extern char** environ;

namespace orlo::testing_netns {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kNamespaceDirectory = "/run/netns";
constexpr const char* kNamePrefix = "orlo-";

std::string describeErrno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

std::string joined(const std::vector<std::string>& argv) {
  std::string text;
  for (const std::string& argument : argv) {
    text += (text.empty() ? "" : " ") + argument;
  }
  return text;
}

// Drains what the pipe holds now. Returns false once the writing side is closed.
bool readAvailable(int fd, std::string& output) {
  char chunk[1024];
  for (;;) {
    const ssize_t length = ::read(fd, chunk, sizeof chunk);
    if (length > 0) {
      output.append(chunk, static_cast<std::size_t>(length));
      continue;
    }
    if (length < 0 && errno == EINTR) {
      continue;
    }
    return length < 0 && errno == EAGAIN;
  }
}

// "orlo-<pid>-<four hex digits>-<role letter>", the names EchoLab gives its namespaces.
std::optional<pid_t> ownerOfLabNamespace(const std::string& name) {
  const std::size_t prefixLength = std::strlen(kNamePrefix);
  if (name.compare(0, prefixLength, kNamePrefix) != 0) {
    return std::nullopt;
  }
  const std::size_t pidEnd = name.find('-', prefixLength);
  if (pidEnd == std::string::npos || pidEnd == prefixLength || pidEnd - prefixLength > 9 ||
      name.size() != pidEnd + 1 + 4 + 2) {
    return std::nullopt;
  }
  const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  if (!std::all_of(name.begin() + prefixLength, name.begin() + pidEnd, isDigit) ||
      !std::all_of(name.begin() + pidEnd + 1, name.begin() + pidEnd + 5, isHex) ||
      name[pidEnd + 5] != '-' || std::islower(static_cast<unsigned char>(name.back())) == 0) {
    return std::nullopt;
  }
  return static_cast<pid_t>(std::stol(name.substr(prefixLength, pidEnd - prefixLength)));
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
  CommandResult result;
  if (argv.empty()) {
    result.output = "no program given";
    return result;
  }
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
    result.output = describeErrno("pipe2");
    return result;
  }
  const UniqueFd output(pipeEnds[0]);
  UniqueFd childOutput(pipeEnds[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, childOutput.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, childOutput.get(), STDERR_FILENO);
  std::vector<char*> arguments;
  for (const std::string& argument : argv) {
    arguments.push_back(const_cast<char*>(argument.c_str()));
  }
  arguments.push_back(nullptr);
  pid_t child = -1;
  const int spawnError =
      ::posix_spawnp(&child, arguments[0], &actions, nullptr, arguments.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  childOutput.reset();
  if (spawnError != 0) {
    result.output = "cannot start " + argv[0] + ": " + std::strerror(spawnError);
    return result;
  }

  const Clock::time_point deadline = Clock::now() + limit;
  int waitStatus = 0;
  bool ended = false;
  bool outputOpen = true;
  while (!ended && Clock::now() < deadline) {
    if (outputOpen) {
      pollfd readable{output.get(), POLLIN, 0};
      ::poll(&readable, 1, 10);
      outputOpen = readAvailable(output.get(), result.output);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ended = ::waitpid(child, &waitStatus, WNOHANG) == child;
  }
  if (!ended) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &waitStatus, 0);
    result.output +=
        "\n" + joined(argv) + ": killed after " + std::to_string(limit.count()) + " ms";
    return result;
  }
  readAvailable(output.get(), result.output);
  if (WIFEXITED(waitStatus)) {
    result.exitCode = WEXITSTATUS(waitStatus);
  }
  return result;
}

std::optional<std::string> netnsUnavailableReason() {
  if (::geteuid() != 0) {
    return "creating network namespaces and entering them needs root";
  }
  const CommandResult version = runCommand({"ip", "-V"});
  if (version.exitCode != 0) {
    return "the ip program of iproute2 does not run: " + version.output;
  }
  return std::nullopt;
}

void skipOrFailUnavailable(const std::string& reason) {
  const char* required = std::getenv("ORLO_REQUIRE_NETNS");
  if (required != nullptr && std::string(required) == "1") {
    FAIL() << reason << ", and ORLO_REQUIRE_NETNS=1 requires these tests to run";
  }
  GTEST_SKIP() << reason;
}

void sweepStaleNamespaces() {
  DIR* directory = ::opendir(kNamespaceDirectory);
  if (directory == nullptr) {
    return;  // no namespace was ever named here, so none is left over
  }
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(directory)) {
    const auto owner = ownerOfLabNamespace(entry->d_name);
    if (owner && ::kill(*owner, 0) != 0 && errno == ESRCH) {
      stale.emplace_back(entry->d_name);
    }
  }
  ::closedir(directory);
  for (const std::string& name : stale) {
    const CommandResult removed = runCommand({"ip", "netns", "del", name});
    if (removed.exitCode != 0) {
      std::fprintf(stderr, "could not remove the stale namespace %s: %s\n", name.c_str(),
                   removed.output.c_str());
    }
  }
}

ThreadNetns::ThreadNetns(const std::string& namespaceName)
    : home_(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC)) {
  if (!home_.valid()) {
    error_ = describeErrno("open the thread's own namespace");
    return;
  }
  const std::string path = std::string(kNamespaceDirectory) + "/" + namespaceName;
  const UniqueFd target(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!target.valid()) {
    error_ = describeErrno(("open " + path).c_str());
    return;
  }
  if (::setns(target.get(), CLONE_NEWNET) != 0) {
    error_ = describeErrno(("setns " + path).c_str());
  } else {
    entered_ = true;
  }
}

ThreadNetns::~ThreadNetns() {
  if (entered_ && ::setns(home_.get(), CLONE_NEWNET) != 0) {
    ADD_FAILURE() << describeErrno("the thread could not return to its own namespace");
  }
}

EchoLab::EchoLab() {
  std::random_device entropy;
  char suffix[5];
  std::snprintf(suffix, sizeof suffix, "%04x", static_cast<unsigned>(entropy() & 0xFFFF));
  prefix_ = kNamePrefix + std::to_string(::getpid()) + "-" + suffix;
}

EchoLab::~EchoLab() {
  const std::string failure = remove();
  if (!failure.empty()) {
    std::fprintf(stderr, "%s\n", failure.c_str());
  }
}

std::string EchoLab::run(const std::vector<std::string>& argv) {
  const CommandResult result = runCommand(argv);
  if (result.exitCode == 0) {
    return {};
  }
  return joined(argv) + " failed (exit " + std::to_string(result.exitCode) + "): " + result.output;
}

std::string EchoLab::addNamespace(const std::string& name) {
  std::string failure = run({"ip", "netns", "add", name});
  if (failure.empty()) {
    created_.push_back(name);
  }
  return failure;
}

std::string EchoLab::inNamespace(const std::string& name,
                                 const std::vector<std::string>& ipArguments) {
  std::vector<std::string> argv{"ip", "-n", name};
  argv.insert(argv.end(), ipArguments.begin(), ipArguments.end());
  return run(argv);
}

std::string EchoLab::setSysctl(const std::string& name, const std::string& key,
                               const std::string& value) {
  return run({"ip", "netns", "exec", name, "sysctl", "-q", "-w", key + "=" + value});
}

std::string EchoLab::build() {
  const std::string client = clientNamespace();
  const std::string router = routerNamespace();
  const std::string answering = answeringNamespace();
  const std::string silent = silentNamespace();
  using Step = std::function<std::string()>;
  const auto sysctl = [this](const std::string& name, const char* key, const char* value) -> Step {
    return [=, this] { return setSysctl(name, key, value); };
  };
  const auto ip = [this](const std::string& name, std::vector<std::string> arguments) -> Step {
    return [=, this] { return inNamespace(name, arguments); };
  };
  const std::vector<Step> steps{
      [&] { return addNamespace(client); },
      [&] { return addNamespace(router); },
      [&] { return addNamespace(answering); },
      [&] { return addNamespace(silent); },
      [&] { return permitDatagramSockets(false); },
      sysctl(router, "net.ipv4.ip_forward", "1"),
      // Every unreachable report is sent, however many tests ask in a row.
      sysctl(router, "net.ipv4.icmp_ratelimit", "0"),
      sysctl(silent, "net.ipv4.icmp_echo_ignore_all", "1"),
      ip(client,
         {"link", "add", "eth-r", "type", "veth", "peer", "name", "eth-c", "netns", router}),
      ip(router,
         {"link", "add", "eth-a", "type", "veth", "peer", "name", "eth-r", "netns", answering}),
      ip(router,
         {"link", "add", "eth-s", "type", "veth", "peer", "name", "eth-r", "netns", silent}),
      ip(client, {"link", "set", "eth-r", "up"}),
      ip(router, {"link", "set", "eth-c", "up"}),
      ip(router, {"link", "set", "eth-a", "up"}),
      ip(router, {"link", "set", "eth-s", "up"}),
      ip(answering, {"link", "set", "eth-r", "up"}),
      ip(silent, {"link", "set", "eth-r", "up"}),
      ip(client, {"addr", "add", "192.0.2.2/24", "dev", "eth-r"}),
      ip(router, {"addr", "add", "192.0.2.1/24", "dev", "eth-c"}),
      ip(router, {"addr", "add", "198.51.100.1/28", "dev", "eth-a"}),
      ip(router, {"addr", "add", "198.51.100.17/28", "dev", "eth-s"}),
      ip(answering, {"addr", "add", "198.51.100.2/28", "dev", "eth-r"}),
      ip(silent, {"addr", "add", "198.51.100.18/28", "dev", "eth-r"}),
      ip(client, {"route", "add", "198.51.100.0/24", "via", kRouterToClient}),
      ip(client, {"route", "add", "203.0.113.0/24", "via", kRouterToClient}),
      ip(client, {"route", "add", "prohibit", kLocallyProhibited + std::string("/32")}),
      ip(client, {"route", "add", "unreachable", kLocallyUnreachable + std::string("/32")}),
      ip(router, {"route", "add", "unreachable", "203.0.113.0/24"}),
      ip(answering, {"route", "add", "192.0.2.0/24", "via", "198.51.100.1"}),
      ip(silent, {"route", "add", "192.0.2.0/24", "via", "198.51.100.17"}),
  };
  for (const Step& step : steps) {
    if (std::string failure = step(); !failure.empty()) {
      return failure;
    }
  }
  return {};
}

std::string EchoLab::permitDatagramSockets(bool permitted) {
  return setSysctl(clientNamespace(), "net.ipv4.ping_group_range",
                   permitted ? "0 2147483647" : "1 0");
}

std::string EchoLab::remove() {
  std::string failures;
  while (!created_.empty()) {
    failures += run({"ip", "netns", "del", created_.back()});
    created_.pop_back();
  }
  return failures;
}

bool SuiteLab::start(std::optional<std::string> unavailable) {
  unavailable_ = std::move(unavailable);
  if (unavailable_) {
    return false;
  }
  sweepStaleNamespaces();
  lab_ = std::make_unique<EchoLab>();
  buildFailure_ = lab_->build();
  return true;
}

void SuiteLab::requireReady() const {
  if (unavailable_) {
    skipOrFailUnavailable(*unavailable_);
    return;
  }
  ASSERT_EQ(buildFailure_, "") << "could not build the namespaces";
}

void SuiteLab::stop() {
  if (!lab_) {
    return;
  }
  const std::string names[] = {lab_->clientNamespace(), lab_->routerNamespace(),
                               lab_->answeringNamespace(), lab_->silentNamespace()};
  EXPECT_EQ(lab_->remove(), "");
  for (const std::string& name : names) {
    EXPECT_NE(::access((std::string(kNamespaceDirectory) + "/" + name).c_str(), F_OK), 0)
        << name << " is left over";
  }
  lab_.reset();
}

}  // namespace orlo::testing_netns
