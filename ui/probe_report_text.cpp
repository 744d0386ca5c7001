#include "ui/probe_report_text.h"

#include "core/echo_probe.h"
#include "ui/probe_report_text_platform.h"

namespace orlo {
namespace {

std::string failedStatusText(std::int32_t status) {
  switch (status) {
    case ip_status::kTimedOut:
      return "no reply within 500 ms";
    case ip_status::kDestHostUnreachable:
      return "destination host unreachable";
    case ip_status::kDestNetUnreachable:
      return "destination network unreachable";
    case ip_status::kDestProtocolUnreachable:
      return "destination protocol unreachable";
    case ip_status::kDestPortUnreachable:
      return "destination port unreachable";
    case ip_status::kBufferTooSmall:
      return "reply buffer too small";
    case ip_status::kNoResources:
      return "no resources to send the request";
    case ip_status::kPacketTooBig:
      return "packet too big";
    case ip_status::kBadRoute:
      return "no route to the destination";
    case ip_status::kTtlExpiredTransit:
      return "time to live expired in transit";
    case ip_status::kTtlExpiredReassembly:
      return "time to live expired during reassembly";
    case ip_status::kParameterProblem:
      return "parameter problem";
    case ip_status::kSourceQuench:
      return "source quench";
    case ip_status::kGeneralFailure:
      return "general failure: the request could not be sent";
    default:
      return "no reply (status " + std::to_string(status) + ")";
  }
}

std::string failedText(const ProbeReport& report) {
  // A system error number rather than an IP status: the system's own words name it.
  if (!report.systemError.empty()) {
    return "no reply: " + report.systemError;
  }
  return failedStatusText(report.status);
}

}  // namespace

std::string notCheckedYetText() {
  return "not checked yet";
}

std::string probeReportText(const ProbeReport& report, const std::string& executablePath) {
  switch (report.outcome) {
    case ProbeOutcome::NotWatched:
      return "not watched";
    case ProbeOutcome::Answered:
      return "reply";
    case ProbeOutcome::Failed:
      return failedText(report);
    case ProbeOutcome::NotAnAddress:
      return "not an IPv4 address";
    case ProbeOutcome::NoSocket:
      return noSocketText(report, executablePath);
    case ProbeOutcome::ProbeError:
      return "the probe could not be run";
  }
  return "unknown outcome";
}

std::string lampReportText(const ProbeReport& report, const std::string& executablePath,
                           const std::tm& since, const std::tm& now) {
  std::string text = probeReportText(report, executablePath);
  if (report.outcome == ProbeOutcome::Answered && report.roundTripMs) {
    // The service counts whole milliseconds: 0 is a reply within the first.
    text += *report.roundTripMs == 0 ? " in under 1 ms"
                                     : " in " + std::to_string(*report.roundTripMs) + " ms";
  }
  const bool today = since.tm_year == now.tm_year && since.tm_yday == now.tm_yday;
  char when[32] = {};
  std::strftime(when, sizeof when, today ? "%H:%M" : "%Y-%m-%d %H:%M", &since);
  return text + "\nsince " + when;
}

}  // namespace orlo
