// The echo probe on Windows: the system's ICMP echo service and Windows Sockets 1.1.

// clang-format off
#include <winsock.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include <cstddef>
#include <memory>

#include "core/echo_probe.h"
#include "core/windows_text.h"

namespace orlo {

// The service writes its reply record where the buffer expects it, field for field.
static_assert(sizeof(ICMP_ECHO_REPLY) == EchoReply::kRecordSize);
static_assert(offsetof(ICMP_ECHO_REPLY, Address) == EchoReply::kAddressOffset);
static_assert(offsetof(ICMP_ECHO_REPLY, Status) == EchoReply::kStatusOffset);
static_assert(offsetof(ICMP_ECHO_REPLY, RoundTripTime) == EchoReply::kRoundTripOffset);
static_assert(offsetof(ICMP_ECHO_REPLY, DataSize) == EchoReply::kDataSizeOffset);
static_assert(offsetof(ICMP_ECHO_REPLY, Options) + offsetof(IP_OPTION_INFORMATION, Ttl) ==
              EchoReply::kTtlOffset);
static_assert(IP_REQ_TIMED_OUT == ip_status::kTimedOut);
static_assert(IP_DEST_HOST_UNREACHABLE == ip_status::kDestHostUnreachable);

std::optional<std::uint32_t> parseIpv4Address(const std::string& text) {
  if (text.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  const std::optional<std::wstring> wide = windows::utf16FromUtf8(text);
  if (!wide) {
    return std::nullopt;
  }
  const unsigned long parsed = ::inet_addr(windows::codePageFromUtf16(*wide).c_str());
  if (parsed == INADDR_NONE) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(parsed);
}

namespace {

constexpr DWORD kTimeoutMs = 500;

struct IcmpHandleCloser {
  void operator()(HANDLE handle) const { ::IcmpCloseHandle(handle); }
};
using IcmpHandle = std::unique_ptr<void, IcmpHandleCloser>;

// Why IcmpCreateFile gave no handle, from its error number.
ProbeResult noHandleResult(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
      return {ip_status::kUnusable, UnusableReason::NotPermitted};
    case ERROR_TOO_MANY_OPEN_FILES:
      return {ip_status::kUnusable, UnusableReason::OutOfOpenFiles};
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
      return {ip_status::kUnusable, UnusableReason::OutOfMemory};
    default:
      return {ip_status::kUnusable, UnusableReason::OtherError, windows::systemMessage(error)};
  }
}

}  // namespace

class Module1::Platform {};

Module1::Module1() : platform_(std::make_unique<Platform>()) {}

Module1::~Module1() = default;

bool Module1::StartSockets() {
  WSADATA data{};
  return ::WSAStartup(0x0101, &data) == 0;
}

ProbeResult Module1::sendEcho(std::uint32_t target, const std::string& payload, EchoReply& reply) {
  const HANDLE opened = ::IcmpCreateFile();
  if (opened == INVALID_HANDLE_VALUE) {
    return noHandleResult(::GetLastError());
  }
  const IcmpHandle icmp(opened);
  // The payload's bytes are the 8-bit characters sent; the service only reads them.
  const DWORD replies = ::IcmpSendEcho(
      icmp.get(), target, const_cast<char*>(payload.data()), static_cast<WORD>(payload.size()),
      nullptr, reply.bytes.data(), static_cast<DWORD>(EchoReply::kSize), kTimeoutMs);
  if (replies != 0) {
    // A reply record came back; an error some router reported has its own status there.
    return {reply.status()};
  }
  // No record: the service may have left the buffer as it was, holding an earlier probe's 0.
  const DWORD error = ::GetLastError();
  const std::int32_t status =
      error == ERROR_SUCCESS ? ip_status::kGeneralFailure : static_cast<std::int32_t>(error);
  reply.setStatus(status);
  // Below the IP status numbers lies a Win32 error, which only the system's words explain.
  if (error != ERROR_SUCCESS && error < IP_STATUS_BASE) {
    return {status, UnusableReason::None, windows::systemMessage(error)};
  }
  return {status};
}

}  // namespace orlo
