// The lamps' advice on Linux, where a probe needs an ICMP socket.

#include "ui/probe_report_text_platform.h"

namespace orlo {

std::string noSocketText(const ProbeReport& report, const std::string& executablePath) {
  switch (report.unusable) {
    case UnusableReason::NotPermitted:
      return "not checked: this user may not open ICMP sockets. Allow unprivileged ICMP with the "
             "sysctl net.ipv4.ping_group_range, for example a file in /etc/sysctl.d holding "
             "\"net.ipv4.ping_group_range = 0 2147483647\", or grant the capability with "
             "\"setcap cap_net_raw+ep " +
             executablePath + "\".";
    case UnusableReason::OutOfOpenFiles:
      return "not checked: out of open files. The program or the system has no file descriptor "
             "left for an ICMP socket; close other programs or raise the open-file limit.";
    case UnusableReason::OutOfMemory:
      return "not checked: out of memory. The system has no memory left for an ICMP socket.";
    case UnusableReason::None:
    case UnusableReason::NotAnAddress:
    case UnusableReason::OtherError:
      break;
  }
  std::string text = "not checked: no ICMP socket could be opened";
  if (!report.systemError.empty()) {
    text += ": " + report.systemError;
  }
  return text;
}

}  // namespace orlo
