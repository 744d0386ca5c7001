#include "tests/support/scripted_echo.h"

namespace orlo::testing_support {

bool ScriptedEcho::StartSockets() {
  ++sweeps;
  if (onStartSockets) {
    onStartSockets();
  }
  return startResult;
}

ProbeResult ScriptedEcho::Probe(const std::string& address, const std::string& payload,
                                EchoReply& reply) {
  probed.push_back(address);
  payloads.push_back(payload);
  buffers.push_back(&reply);
  if (onProbe) {
    onProbe(address);
  }
  if (answer) {
    return answer(address, reply);
  }
  const auto found = statusOf.find(address);
  const std::int32_t status = found == statusOf.end() ? ip_status::kTimedOut : found->second;
  if (status == ip_status::kSuccess) {
    reply.setRoundTripMs(roundTripMs);
  }
  return {status,
          status == ip_status::kUnusable ? UnusableReason::NotAnAddress : UnusableReason::None};
}

}  // namespace orlo::testing_support
