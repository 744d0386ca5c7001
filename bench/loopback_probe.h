#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <optional>

#include "core/check_sweep.h"
#include "core/echo_probe_linux.h"

namespace orlo::bench {

inline constexpr const char* kLoopback = "127.0.0.1";

// Probes the loopback once and names the socket kind the probe used in the benchmark context
// under `contextName`. Returns that kind, or nothing, with why on stderr, when no reply came.
inline std::optional<SocketKind> firstLoopbackProbe(Module1& module, const char* contextName) {
  EchoReply reply{};
  const std::int32_t status = module.ProbeHost(kLoopback, kEchoPayload, reply);
  if (status != ip_status::kSuccess || !module.platform().lastSocketKind()) {
    std::fprintf(stderr,
                 "ProbeHost(%s) gave %d: it needs an ICMP socket (root, CAP_NET_RAW, or "
                 "net.ipv4.ping_group_range covering your group)\n",
                 kLoopback, status);
    return std::nullopt;
  }
  const SocketKind kind = *module.platform().lastSocketKind();
  benchmark::AddCustomContext(contextName, kind == SocketKind::Datagram ? "datagram" : "raw");
  return kind;
}

}  // namespace orlo::bench
