#include "core/check_sweep.h"

#include <exception>

namespace orlo {
namespace {

ProbeReport reportOf(const ProbeResult& result) {
  switch (result.status) {
    case ip_status::kSuccess:
      return {ProbeOutcome::Answered, result.status};
    case ip_status::kUnusable:
      if (result.unusable == UnusableReason::NotAnAddress) {
        return {ProbeOutcome::NotAnAddress, result.status};
      }
      return {ProbeOutcome::NoSocket, result.status, result.unusable, result.systemError};
    default:
      return {ProbeOutcome::Failed, result.status, UnusableReason::None, result.systemError};
  }
}

ProbeReport probeSlot(const MonitorView& view, EchoService& echo, int slot, EchoReply& reply) {
  try {
    ProbeReport report = reportOf(echo.Probe(view.addressText(slot), kEchoPayload, reply));
    if (report.outcome == ProbeOutcome::Answered) {
      report.roundTripMs = reply.roundTripMs();
    }
    return report;
  } catch (const std::exception&) {
    return {ProbeOutcome::ProbeError, ip_status::kGeneralFailure};
  }
}

}  // namespace

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

bool doping(MonitorView& view, EchoService& echo) {
  EchoReply reply{};
  try {
    if (!echo.StartSockets()) {
      return false;
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
  return true;
}

}  // namespace orlo
