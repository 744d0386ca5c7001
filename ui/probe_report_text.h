#pragma once

#include <string>

#include "core/monitor_view.h"

namespace orlo {

// What a lamp says about its slot's last probe, in words a user can act on. Every wording the
// lamps use lives in probe_report_text.cpp.

// Before the first sweep has reached the slot.
std::string notCheckedYetText();

// The outcome of the slot's last probe. When no ICMP socket opened, the text names the reason;
// executablePath names the program in the advice given when ICMP sockets are not permitted for
// this user.
std::string probeReportText(const ProbeReport& report, const std::string& executablePath);

}  // namespace orlo
