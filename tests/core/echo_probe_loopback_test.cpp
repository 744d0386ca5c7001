#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "core/echo_probe_linux.h"
#include "core/unique_fd.h"

namespace orlo {
namespace {

std::uint32_t networkOrder(const char* dotted) {
  in_addr parsed{};
  EXPECT_EQ(::inet_pton(AF_INET, dotted, &parsed), 1) << dotted;
  return parsed.s_addr;
}

int openDescriptorCount() {
  int count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) {
    return -1;
  }
  while (::readdir(dir) != nullptr) {
    ++count;
  }
  ::closedir(dir);
  return count;
}

EchoReply patternedReply() {
  EchoReply reply;
  for (std::size_t i = 0; i < reply.bytes.size(); ++i) {
    reply.bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  }
  return reply;
}

TEST(ProbeHostLoopback, LocalHostAnswers) {
  Module1 module;
  EchoReply reply{};
  ASSERT_EQ(module.ProbeHost("127.0.0.1", "Echo", reply), ip_status::kSuccess)
      << "needs an ICMP socket: root, CAP_NET_RAW, or net.ipv4.ping_group_range covering this "
         "user's group";
  EXPECT_EQ(reply.status(), ip_status::kSuccess);
  EXPECT_EQ(reply.address(), networkOrder("127.0.0.1"));
  EXPECT_EQ(reply.dataSize(), 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.bytes.data() + 28), 4), "Echo");
}

TEST(ProbeHostLoopback, ShortFormIsProbedAsItsFullAddress) {
  Module1 module;
  EchoReply reply{};
  ASSERT_EQ(module.ProbeHost("127.1", "Echo", reply), ip_status::kSuccess);
  EXPECT_EQ(reply.address(), networkOrder("127.0.0.1"));
}

TEST(ProbeHostLoopback, ConsecutiveProbesEachGetTheirOwnReply) {
  Module1 module;
  EchoReply reply{};
  for (int probe = 0; probe < 5; ++probe) {
    reply.setStatus(-7);
    ASSERT_EQ(module.ProbeHost("127.0.0.3", "Echo", reply), ip_status::kSuccess) << probe;
    EXPECT_EQ(reply.status(), ip_status::kSuccess);
  }
}

TEST(ProbeHostLoopback, UnparsableAddressesOpenNoSocket) {
  Module1 module;
  const int descriptorsBefore = openDescriptorCount();
  for (const std::string text : {"abc", "", "255.255.255.255"}) {
    EchoReply reply{};
    module.ProbeHost(text, "Echo", reply);
  }
  EXPECT_FALSE(module.platform().lastSocketKind().has_value());
  EXPECT_EQ(openDescriptorCount(), descriptorsBefore);
}

// Uses up the process's open-file limit: lowers its soft limit and opens descriptors until the
// system refuses one. Gives both back when it goes out of scope.
class DescriptorsUsedUp {
 public:
  DescriptorsUsedUp() {
    if (::getrlimit(RLIMIT_NOFILE, &saved_) != 0) {
      return;
    }
    rlimit lowered = saved_;
    lowered.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, kLowLimit);
    if (::setrlimit(RLIMIT_NOFILE, &lowered) != 0) {
      return;
    }
    restore_ = true;
    while (held_.size() < kLowLimit) {
      UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
      if (!fd.valid()) {
        refusal_ = errno;
        return;
      }
      held_.push_back(std::move(fd));
    }
  }
  DescriptorsUsedUp(const DescriptorsUsedUp&) = delete;
  DescriptorsUsedUp& operator=(const DescriptorsUsedUp&) = delete;
  ~DescriptorsUsedUp() {
    held_.clear();
    if (restore_) {
      ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
  }

  bool usedUp() const { return refusal_ == EMFILE; }

 private:
  static constexpr rlim_t kLowLimit = 256;
  rlimit saved_{};
  bool restore_ = false;
  int refusal_ = 0;
  std::vector<UniqueFd> held_;
};

TEST(ProbeHostLoopback, OutOfOpenFilesIsTheReasonGiven) {
  Module1 module;
  EchoReply reply = patternedReply();
  const EchoReply before = reply;
  ProbeResult result;
  {
    const DescriptorsUsedUp descriptors;
    ASSERT_TRUE(descriptors.usedUp());
    result = module.Probe("127.0.0.1", "Echo", reply);
  }
  EXPECT_EQ(result, (ProbeResult{ip_status::kUnusable, UnusableReason::OutOfOpenFiles}));
  EXPECT_EQ(reply.bytes, before.bytes);
  EXPECT_EQ(module.ProbeHost("127.0.0.1", "Echo", reply), ip_status::kSuccess)
      << "the descriptors are given back";
}

TEST(ProbeHostLoopback, NoDescriptorOutlivesItsProbe) {
  Module1 module;
  EchoReply reply{};
  const int before = openDescriptorCount();
  for (int probe = 0; probe < 20; ++probe) {
    module.ProbeHost("127.0.0.1", "Echo", reply);
  }
  module.ProbeHost("127.0.0.1", std::string(Module1::kMaxPayload + 1, 'x'), reply);
  EXPECT_EQ(openDescriptorCount(), before);
}

TEST(ProbeHostLoopback, LargestPayloadIsSentAndOneMoreOpensNoSocket) {
  Module1 module;
  EchoReply reply{};
  module.ProbeHost("127.0.0.1", std::string(Module1::kMaxPayload + 1, 'x'), reply);
  EXPECT_FALSE(module.platform().lastSocketKind().has_value());
  EXPECT_EQ(module.ProbeHost("127.0.0.1", std::string(Module1::kMaxPayload, 'x'), reply),
            ip_status::kSuccess);
  EXPECT_EQ(reply.dataSize(), Module1::kMaxPayload);
}

TEST(StartSockets, NeedsNoStartUpOnLinux) {
  Module1 module;
  EXPECT_TRUE(module.StartSockets());
}

}  // namespace
}  // namespace orlo
