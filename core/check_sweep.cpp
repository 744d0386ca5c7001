#include "core/check_sweep.h"

#include <exception>
#include <string>

namespace orlo {
namespace {

LampColor probeSlot(MonitorView& view, EchoService& echo, int slot, EchoReply& reply) {
  try {
    const std::string address = view.addressText(slot);
    return echo.ProbeHost(address, kEchoPayload, reply) == ip_status::kSuccess ? LampColor::Green
                                                                               : LampColor::Red;
  } catch (const std::exception&) {
    return LampColor::Red;
  }
}

}  // namespace

void doping(MonitorView& view, EchoService& echo) {
  EchoReply reply{};
  try {
    if (!echo.StartSockets()) {
      return;
    }
  } catch (const std::exception&) {
    // A sockets layer that fails to start is not a refusal: the probes will fail on their own.
  }
  for (int slot = 0; slot < kSlotCount; ++slot) {
    try {
      const LampColor color =
          view.enableValue(slot) == 1 ? probeSlot(view, echo, slot, reply) : LampColor::Black;
      view.setLampColor(slot, color);
    } catch (const std::exception&) {
      // The slot's box or lamp could not be reached; its lamp keeps its colour.
    }
  }
}

}  // namespace orlo
