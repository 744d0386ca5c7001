#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/echo_probe.h"

namespace orlo::testing_support {

// An echo service that answers from a script and records what it was asked. Each probe gets
// the status statusOf holds for its address (no reply within 500 ms for any other address; -1
// stands for an address that does not parse), unless `answer` is set, which then decides alone. The
// hooks let a test look at or change things while a sweep runs; any of them, and `answer`, may
// throw to stand for a probe or a sockets layer that fails to run.
class ScriptedEcho final : public EchoService {
 public:
  std::map<std::string, std::int32_t> statusOf;
  std::uint32_t roundTripMs = 0;  // of every reply
  std::function<ProbeResult(const std::string& address, EchoReply& reply)> answer;
  bool startResult = true;
  std::function<void()> onStartSockets;
  std::function<void(const std::string& address)> onProbe;

  int sweeps = 0;  // StartSockets calls
  std::vector<std::string> probed;
  std::vector<std::string> payloads;
  std::vector<const EchoReply*> buffers;

  bool StartSockets() override;
  ProbeResult Probe(const std::string& address, const std::string& payload,
                    EchoReply& reply) override;
};

}  // namespace orlo::testing_support
