#include "ui/probe_report_text.h"

#include "core/echo_probe.h"

namespace orlo {
namespace {

QString failedStatusText(std::int32_t status) {
  switch (status) {
    case ip_status::kTimedOut:
      return QStringLiteral("no reply within 500 ms");
    case ip_status::kDestHostUnreachable:
      return QStringLiteral("destination host unreachable");
    case ip_status::kDestNetUnreachable:
      return QStringLiteral("destination network unreachable");
    case ip_status::kDestProtocolUnreachable:
      return QStringLiteral("destination protocol unreachable");
    case ip_status::kDestPortUnreachable:
      return QStringLiteral("destination port unreachable");
    case ip_status::kBufferTooSmall:
      return QStringLiteral("reply buffer too small");
    case ip_status::kNoResources:
      return QStringLiteral("no resources to send the request");
    case ip_status::kPacketTooBig:
      return QStringLiteral("packet too big");
    case ip_status::kBadRoute:
      return QStringLiteral("no route to the destination");
    case ip_status::kTtlExpiredTransit:
      return QStringLiteral("time to live expired in transit");
    case ip_status::kTtlExpiredReassembly:
      return QStringLiteral("time to live expired during reassembly");
    case ip_status::kParameterProblem:
      return QStringLiteral("parameter problem");
    case ip_status::kSourceQuench:
      return QStringLiteral("source quench");
    case ip_status::kGeneralFailure:
      return QStringLiteral("general failure: the request could not be sent");
    default:
      return QStringLiteral("no reply (status %1)").arg(status);
  }
}

QString noSocketText(const ProbeReport& report, const QString& executablePath) {
  switch (report.unusable) {
    case UnusableReason::NotPermitted:
      return QStringLiteral(
                 "not checked: this user may not open ICMP sockets. Allow unprivileged ICMP with "
                 "the sysctl net.ipv4.ping_group_range, for example a file in /etc/sysctl.d "
                 "holding \"net.ipv4.ping_group_range = 0 2147483647\", or grant the capability "
                 "with \"setcap cap_net_raw+ep %1\".")
          .arg(executablePath);
    case UnusableReason::OutOfOpenFiles:
      return QStringLiteral(
          "not checked: out of open files. The program or the system has no file descriptor "
          "left for an ICMP socket; close other programs or raise the open-file limit.");
    case UnusableReason::OutOfMemory:
      return QStringLiteral(
          "not checked: out of memory. The system has no memory left for an ICMP socket.");
    case UnusableReason::None:
    case UnusableReason::NotAnAddress:
    case UnusableReason::OtherError:
      break;
  }
  const QString text = QStringLiteral("not checked: no ICMP socket could be opened");
  return report.systemError.empty()
             ? text
             : text + QStringLiteral(": ") + QString::fromStdString(report.systemError);
}

}  // namespace

QString notCheckedYetText() {
  return QStringLiteral("not checked yet");
}

QString probeReportText(const ProbeReport& report, const QString& executablePath) {
  switch (report.outcome) {
    case ProbeOutcome::NotWatched:
      return QStringLiteral("not watched");
    case ProbeOutcome::Answered:
      return QStringLiteral("reply");
    case ProbeOutcome::Failed:
      return failedStatusText(report.status);
    case ProbeOutcome::NotAnAddress:
      return QStringLiteral("not an IPv4 address");
    case ProbeOutcome::NoSocket:
      return noSocketText(report, executablePath);
    case ProbeOutcome::ProbeError:
      return QStringLiteral("the probe could not be run");
  }
  return QStringLiteral("unknown outcome");
}

QString lampAccessibleName(int slot) {
  return QStringLiteral("Host %1").arg(slot + 1);
}

}  // namespace orlo
