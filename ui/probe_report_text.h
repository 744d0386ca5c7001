#pragma once

#include <ctime>
#include <string>

#include "core/monitor_view.h"

namespace orlo {

// What a lamp says about its slot's last probe, in words a user can act on. Every wording the
// lamps use lives in probe_report_text.cpp, but the advice for a probe that got no socket or
// handle, which each platform has in its own file: probe_report_text_linux.cpp or _windows.cpp.

// Before the first sweep has reached the slot.
std::string notCheckedYetText();

// The outcome of the slot's last probe. When no ICMP socket opened, the text names the reason;
// executablePath names the program in the advice given when ICMP is not permitted for this user.
// A request that failed with a system error number rather than an IP status gives the system's
// words for it.
std::string probeReportText(const ProbeReport& report, const std::string& executablePath);

// All a lamp says: the outcome, with the round trip time of a reply ("reply in 3 ms"), and on a
// second line since when the lamp has shown its colour: "since 14:05" on the day it is now, with
// the date on any other.
std::string lampReportText(const ProbeReport& report, const std::string& executablePath,
                           const std::tm& since, const std::tm& now);

}  // namespace orlo
