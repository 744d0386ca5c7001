#pragma once

#include <cstdint>
#include <optional>

#include "core/echo_probe.h"

namespace orlo {

enum class SocketKind { Datagram, Raw };

// The Linux probe numbers its requests itself, so that it can tell its replies from any other
// echo reply the socket sees: one identifier for the service and a new sequence number for each
// request, both starting at random values.
class Module1::Platform {
 public:
  Platform();

  // The kind of socket the latest probe that opened one used.
  std::optional<SocketKind> lastSocketKind() const { return lastSocketKind_; }

 private:
  friend class Module1;

  std::uint16_t identifier_;
  std::uint16_t nextSequence_;
  std::optional<SocketKind> lastSocketKind_;
};

}  // namespace orlo
