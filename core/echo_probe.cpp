#include "core/echo_probe.h"

#include <cstring>

namespace orlo {

namespace {

template <typename T>
T readField(const std::array<std::uint8_t, EchoReply::kSize>& bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

template <typename T>
void writeField(std::array<std::uint8_t, EchoReply::kSize>& bytes, std::size_t offset, T value) {
  std::memcpy(bytes.data() + offset, &value, sizeof value);
}

}  // namespace

ProbeResult Module1::Probe(const std::string& address, const std::string& payload,
                           EchoReply& reply) {
  const std::optional<std::uint32_t> target = parseIpv4Address(address);
  if (!target) {
    return {ip_status::kUnusable, UnusableReason::NotAnAddress};
  }
  if (payload.size() > kMaxPayload) {
    reply.setAddress(*target);
    reply.setStatus(ip_status::kBufferTooSmall);
    return {ip_status::kBufferTooSmall};
  }
  return sendEcho(*target, payload, reply);
}

std::int32_t EchoReply::status() const {
  return readField<std::int32_t>(bytes, kStatusOffset);
}
void EchoReply::setStatus(std::int32_t status) {
  writeField(bytes, kStatusOffset, status);
}
std::uint32_t EchoReply::address() const {
  return readField<std::uint32_t>(bytes, kAddressOffset);
}
void EchoReply::setAddress(std::uint32_t networkOrder) {
  writeField(bytes, kAddressOffset, networkOrder);
}
std::uint32_t EchoReply::roundTripMs() const {
  return readField<std::uint32_t>(bytes, kRoundTripOffset);
}
void EchoReply::setRoundTripMs(std::uint32_t milliseconds) {
  writeField(bytes, kRoundTripOffset, milliseconds);
}
std::uint16_t EchoReply::dataSize() const {
  return readField<std::uint16_t>(bytes, kDataSizeOffset);
}
void EchoReply::setDataSize(std::uint16_t size) {
  writeField(bytes, kDataSizeOffset, size);
}
std::uint8_t EchoReply::ttl() const {
  return bytes[kTtlOffset];
}
void EchoReply::setTtl(std::uint8_t ttl) {
  bytes[kTtlOffset] = ttl;
}

}  // namespace orlo
