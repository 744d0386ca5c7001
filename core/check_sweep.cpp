#include "core/check_sweep.h"

#include <exception>
#include <string>

namespace orlo {
namespace {

ProbeReport probeSlot(const MonitorView& view, EchoService& echo, int slot, EchoReply& reply) {
  std::string address;
  std::int32_t status = 0;
  try {
    address = view.addressText(slot);
    status = echo.ProbeHost(address, kEchoPayload, reply);
  } catch (const std::exception&) {
    return {ProbeOutcome::ProbeError, ip_status::kGeneralFailure};
  }
  if (status == ip_status::kSuccess) {
    return {ProbeOutcome::Answered, status};
  }
  if (status == ip_status::kUnusable) {
    return {parseIpv4Address(address) ? ProbeOutcome::NoSocket : ProbeOutcome::NotAnAddress,
            status};
  }
  return {ProbeOutcome::Failed, status};
}

LampColor lampColorOf(ProbeOutcome outcome) {
  switch (outcome) {
    case ProbeOutcome::Answered:
      return LampColor::Green;
    case ProbeOutcome::NotWatched:
      return LampColor::Black;
    default:
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
    ProbeReport report;
    try {
      if (view.enableValue(slot) == 1) {
        report = probeSlot(view, echo, slot, reply);
      }
    } catch (const std::exception&) {
      continue;  // the slot's box cannot be read, so its lamp keeps its colour
    }
    try {
      view.setProbeReport(slot, report);
    } catch (const std::exception&) {
      // The lamp is still painted below.
    }
    try {
      view.setLampColor(slot, lampColorOf(report.outcome));
    } catch (const std::exception&) {
      // Nothing else depends on this lamp.
    }
  }
}

}  // namespace orlo
