// The lamps' advice on Windows, where a probe needs a handle to the system's ICMP echo service
// (IcmpCreateFile).

#include "ui/probe_report_text_platform.h"

namespace orlo {

std::string noSocketText(const ProbeReport& report, const std::string& executablePath) {
  switch (report.unusable) {
    case UnusableReason::NotPermitted:
      return "not checked: Windows denied this program access to its ICMP echo service. Security "
             "software or a policy on this computer may keep programs from sending pings; allow "
             "\"" +
             executablePath + "\" to send ICMP echo requests, or ask the computer's administrator.";
    case UnusableReason::OutOfOpenFiles:
      return "not checked: out of handles. The program or the system has no handle left for the "
             "ICMP echo service; close other programs and windows.";
    case UnusableReason::OutOfMemory:
      return "not checked: out of memory. The system has no memory or resources left for the ICMP "
             "echo service; close other programs.";
    case UnusableReason::None:
    case UnusableReason::NotAnAddress:
    case UnusableReason::OtherError:
      break;
  }
  std::string text = "not checked: the ICMP echo service could not be opened";
  if (!report.systemError.empty()) {
    text += ": " + report.systemError;
  }
  return text;
}

}  // namespace orlo
