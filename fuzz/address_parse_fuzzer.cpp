// Feeds arbitrary text to the address parse that ProbeHost does before it opens anything. Only
// the parse runs: nothing is sent.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/echo_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto parsed = orlo::parseIpv4Address(text);
  if (!parsed) {
    return 0;
  }
  if (*parsed == INADDR_NONE || text.find('\0') != std::string::npos || text.empty()) {
    std::abort();
  }
  // The dotted form of the result must parse to the same address.
  char dotted[INET_ADDRSTRLEN];
  in_addr address{*parsed};
  if (::inet_ntop(AF_INET, &address, dotted, sizeof dotted) == nullptr ||
      orlo::parseIpv4Address(dotted) != parsed) {
    std::abort();
  }
  return 0;
}
