// What every platform's probe shares: the reply buffer's layout, the address parser, and the
// probes that send nothing.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>

#include "core/echo_probe.h"

namespace orlo {
namespace {

using Octets = std::array<std::uint8_t, 4>;

TEST(EchoReplyLayout, StatusSitsAtOffsetFourOfA278ByteBuffer) {
  EchoReply reply{};
  EXPECT_EQ(sizeof reply, 278u);
  reply.setStatus(11010);
  const std::int32_t expected = 11010;
  EXPECT_EQ(std::memcmp(reply.bytes.data() + 4, &expected, 4), 0);
  for (std::size_t i = 0; i < reply.bytes.size(); ++i) {
    if (i < 4 || i >= 8) {
      EXPECT_EQ(reply.bytes[i], 0) << "byte " << i;
    }
  }
}

struct ParseCase {
  std::string text;
  std::optional<Octets> expected;  // nothing: does not parse
};

void PrintTo(const ParseCase& c, std::ostream* out) {
  *out << '"';
  for (const char ch : c.text) {
    if (ch >= 0x20 && ch < 0x7F) {
      *out << ch;
    } else {
      *out << "\\x" << std::hex << (static_cast<unsigned>(ch) & 0xFF) << std::dec;
    }
  }
  *out << "\" -> ";
  if (!c.expected) {
    *out << "nothing";
    return;
  }
  for (std::size_t i = 0; i < c.expected->size(); ++i) {
    *out << (i == 0 ? "" : ".") << static_cast<unsigned>((*c.expected)[i]);
  }
}

class AddressParse : public testing::TestWithParam<ParseCase> {};

TEST_P(AddressParse, FollowsTheClassicRules) {
  const auto parsed = parseIpv4Address(GetParam().text);
  if (!GetParam().expected) {
    EXPECT_FALSE(parsed.has_value());
  } else {
    ASSERT_TRUE(parsed.has_value());
    Octets inNetworkOrder;
    std::memcpy(inNetworkOrder.data(), &*parsed, inNetworkOrder.size());
    EXPECT_EQ(inNetworkOrder, *GetParam().expected);
  }
}

constexpr Octets kLoopback{127, 0, 0, 1};

INSTANTIATE_TEST_SUITE_P(
    Table, AddressParse,
    testing::Values(ParseCase{"127.0.0.1", kLoopback}, ParseCase{"127.1", kLoopback},
                    ParseCase{"0x7f.1", kLoopback}, ParseCase{"0177.0.0.1", kLoopback},
                    ParseCase{"2130706433", kLoopback}, ParseCase{"10.1.2", Octets{10, 1, 0, 2}},
                    ParseCase{"127.0.0.1 trailing words", kLoopback},
                    ParseCase{"127.0.0.1\tx", kLoopback},
                    ParseCase{"127.0.0.1 \xC3\xA9", kLoopback}, ParseCase{"", std::nullopt},
                    ParseCase{"abc", std::nullopt}, ParseCase{"255.255.255.255", std::nullopt},
                    ParseCase{" 127.0.0.1", std::nullopt}, ParseCase{"127.0.0.1x", std::nullopt},
                    ParseCase{"1.2.3.4.5", std::nullopt}, ParseCase{"256.0.0.1", std::nullopt},
                    ParseCase{"08.0.0.1", std::nullopt}, ParseCase{"localhost", std::nullopt},
                    ParseCase{std::string("127.0.0.1\0junk", 14), std::nullopt},
                    ParseCase{"127.0.0.\xC3\xA9", std::nullopt},
                    ParseCase{"127.0.0.1\xFF", std::nullopt},
                    // Fullwidth digits: 127.0.0.1 to the eye, and to a "best fit" conversion.
                    ParseCase{"\xEF\xBC\x91\xEF\xBC\x92\xEF\xBC\x97.0.0.1", std::nullopt}));

TEST(ProbeHost, UnparsableAddressesGiveMinusOneAndLeaveTheBufferAlone) {
  Module1 module;
  for (const std::string text : {"abc", "", "255.255.255.255"}) {
    EchoReply reply;
    reply.bytes.fill(0xA5);
    const EchoReply before = reply;
    EXPECT_EQ(module.Probe(text, "Echo", reply),
              (ProbeResult{ip_status::kUnusable, UnusableReason::NotAnAddress}))
        << text;
    EXPECT_EQ(reply.bytes, before.bytes) << text;
  }
}

TEST(ProbeHost, PayloadTooLongForTheBufferIsRefused) {
  Module1 module;
  EchoReply reply{};
  EXPECT_EQ(module.ProbeHost("127.0.0.1", std::string(Module1::kMaxPayload + 1, 'x'), reply),
            ip_status::kBufferTooSmall);
  EXPECT_EQ(reply.status(), ip_status::kBufferTooSmall);
}

}  // namespace
}  // namespace orlo
