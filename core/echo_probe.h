#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace orlo {

// Outcome numbers of one echo request. 0 is a reply; -1 an address that does not parse or no
// ICMP socket; the rest follow the IP status numbering of the Windows ICMP echo service.
namespace ip_status {
inline constexpr std::int32_t kSuccess = 0;
inline constexpr std::int32_t kUnusable = -1;
inline constexpr std::int32_t kBufferTooSmall = 11001;
inline constexpr std::int32_t kDestNetUnreachable = 11002;
inline constexpr std::int32_t kDestHostUnreachable = 11003;
inline constexpr std::int32_t kDestProtocolUnreachable = 11004;
inline constexpr std::int32_t kDestPortUnreachable = 11005;
inline constexpr std::int32_t kNoResources = 11006;
inline constexpr std::int32_t kPacketTooBig = 11009;
inline constexpr std::int32_t kTimedOut = 11010;
inline constexpr std::int32_t kBadRoute = 11012;
inline constexpr std::int32_t kTtlExpiredTransit = 11013;
inline constexpr std::int32_t kTtlExpiredReassembly = 11014;
inline constexpr std::int32_t kParameterProblem = 11015;
inline constexpr std::int32_t kSourceQuench = 11016;
inline constexpr std::int32_t kGeneralFailure = 11050;
}  // namespace ip_status

// The reply buffer of one echo request: the 28-byte reply record in its 32-bit layout followed
// by 250 bytes for the echoed data. Multi-byte fields are in host byte order except the
// address, which is in network byte order.
//
//   offset  0  u32  address of the host that answered (or reported the error)
//   offset  4  i32  status
//   offset  8  u32  round trip time in milliseconds
//   offset 12  u16  number of echoed data bytes in the data area
//   offset 14  u16  reserved
//   offset 16  u32  data pointer (always 0 here: the data is in the data area)
//   offset 20  8    option information (ttl, tos, flags, options size, options pointer)
//   offset 28  250  echoed data
struct EchoReply {
  static constexpr std::size_t kRecordSize = 28;
  static constexpr std::size_t kDataSize = 250;
  static constexpr std::size_t kSize = kRecordSize + kDataSize;
  static constexpr std::size_t kAddressOffset = 0;
  static constexpr std::size_t kStatusOffset = 4;
  static constexpr std::size_t kRoundTripOffset = 8;
  static constexpr std::size_t kDataSizeOffset = 12;
  static constexpr std::size_t kTtlOffset = 20;

  std::array<std::uint8_t, kSize> bytes{};

  std::int32_t status() const;
  void setStatus(std::int32_t status);
  std::uint32_t address() const;  // network byte order
  void setAddress(std::uint32_t networkOrder);
  std::uint32_t roundTripMs() const;
  void setRoundTripMs(std::uint32_t milliseconds);
  std::uint16_t dataSize() const;
  void setDataSize(std::uint16_t size);
  std::uint8_t ttl() const;
  void setTtl(std::uint8_t ttl);
};
static_assert(sizeof(EchoReply) == EchoReply::kSize);

// Why a probe gave -1 and sent nothing. The categories are the same on every platform: each
// backend sorts its system's own error codes into them.
enum class UnusableReason {
  None,            // the status is not -1
  NotAnAddress,    // the address text does not parse
  NotPermitted,    // the system does not let this user open ICMP sockets
  OutOfOpenFiles,  // the process or the whole system has no file descriptor (handle) left
  OutOfMemory,     // the system has no memory or buffers left for another socket
  OtherError,      // no ICMP socket for another reason, which the system's words name
};

// One probe's status and, when it is -1, why.
struct ProbeResult {
  std::int32_t status = ip_status::kSuccess;
  UnusableReason unusable = UnusableReason::None;
  // The system's own words: for UnusableReason::OtherError, and for a status that is a system
  // error number rather than an IP status.
  std::string systemError{};
  friend bool operator==(const ProbeResult&, const ProbeResult&) = default;
};

// The network as the check sweep sees it.
class EchoService {
 public:
  virtual ~EchoService() = default;
  // Starts the sockets layer; false means the sweep must not probe.
  virtual bool StartSockets() = 0;
  // Sends one echo request with the payload to the address. Returns its status and, when the
  // status is -1, why nothing could be sent.
  virtual ProbeResult Probe(const std::string& address, const std::string& payload,
                            EchoReply& reply) = 0;
  // Probe's status alone.
  std::int32_t ProbeHost(const std::string& address, const std::string& payload, EchoReply& reply) {
    return Probe(address, payload, reply).status;
  }
};

// Parses an address the classic inet_addr way: one to four dot-separated parts, each decimal,
// octal with a leading 0 or hexadecimal with a leading 0x, the last part filling the remaining
// bytes (127.1 is 127.0.0.1). Host names are not resolved. As with inet_addr, anything after
// the first blank (space, tab, newline) is ignored, so "10.0.0.1 router" is 10.0.0.1; leading
// blanks are not accepted. Text with a NUL character in it, empty text and 255.255.255.255
// (which equals the error value) give nothing. Returns the address in network byte order.
// On Windows the text goes to inet_addr in the system's 8-bit code page: text that is not valid
// UTF-8 gives nothing, and a character the code page lacks becomes '?', never a look-alike (a
// fullwidth digit is no digit).
std::optional<std::uint32_t> parseIpv4Address(const std::string& text);

// The real echo service of the platform. ProbeHost sends exactly one echo request and waits at
// most 500 ms for its reply; nothing it opens outlives it.
//
// The reply buffer is left untouched when ProbeHost returns -1, and the result says why: the
// address does not parse, or the system gave no ICMP socket or handle. Otherwise its status field
// is always that of this request, never one an earlier probe left there. A payload longer than
// kMaxPayload is not sent: the status is ip_status::kBufferTooSmall.
//
// On Linux, ProbeHost opens an unprivileged ICMP datagram socket, or a raw ICMP socket where
// datagram sockets are not permitted (net.ipv4.ping_group_range) or not supported. Only an echo
// reply from the probed address carrying this request's sequence number (and, on a raw socket,
// this service's identifier) counts. An ICMP error about the request or a failed send ends the
// wait at once with the matching status. The buffer's address is always this request's too (the
// probed host, or whoever reported the error), and a reply also fills the round trip time, the
// data size and the echoed data (and, on a raw socket, the TTL).
//
// On Windows, ProbeHost converts the address to the system's 8-bit code page and parses it with
// the sockets layer's inet_addr, then asks the system's ICMP echo service (IcmpCreateFile,
// IcmpSendEcho, IcmpCloseHandle), which fills the buffer as it does for any program. When the
// service reports that no reply came, its error number is the status, and the buffer's status
// field is set to it; when that number is a Win32 error (below the IP status numbers, as 1214
// for 0.0.0.0), the result also carries the system's words for it.
class Module1 final : public EchoService {
 public:
  Module1();
  ~Module1() override;
  Module1(const Module1&) = delete;
  Module1& operator=(const Module1&) = delete;

  // On Windows, WSAStartup for Windows Sockets 1.1, never cleaned up. Linux needs no start-up
  // of its sockets layer.
  bool StartSockets() override;
  ProbeResult Probe(const std::string& address, const std::string& payload,
                    EchoReply& reply) override;

  // The largest payload that still fits the reply buffer's data area together with an ICMP
  // header, which the service needs room for when an error comes back instead of the echo.
  static constexpr std::size_t kMaxPayload = EchoReply::kDataSize - 8;

  // What the platform's probe keeps from one probe to the next, declared in that platform's own
  // header (echo_probe_linux.h). The Windows probe keeps nothing: the system's echo service
  // matches replies to requests.
  class Platform;
  const Platform& platform() const { return *platform_; }

 private:
  // The platform's part of a probe: one echo request to a parsed address, with a payload that
  // fits the buffer.
  ProbeResult sendEcho(std::uint32_t target, const std::string& payload, EchoReply& reply);

  std::unique_ptr<Platform> platform_;
};

}  // namespace orlo
