#pragma once

#include <string>

#include "core/monitor_view.h"

namespace orlo {

// The lamp's words when the system gave the probe no way to send an echo request: why, and what
// the user can do about it, in the platform's own terms. Each platform's words are in a file of
// their own (probe_report_text_linux.cpp, probe_report_text_windows.cpp), so that neither program
// holds the other's advice. executablePath names the program where the advice needs it.
std::string noSocketText(const ProbeReport& report, const std::string& executablePath);

}  // namespace orlo
