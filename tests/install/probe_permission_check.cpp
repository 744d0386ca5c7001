// Probes one address the way a sweep does and prints what its lamp would show:
//   status <probe status>
//   lamp <green|red|black>
//   text <the lamp's description>
// The ICMP permission test installs it next to the monitor, with the same capability step, and
// runs it as an unprivileged user.
#include <iostream>

#include "core/check_sweep.h"
#include "core/echo_probe.h"
#include "core/memory_monitor_view.h"
#include "ui/probe_report_text.h"

namespace {

const char* lampName(orlo::LampColor color) {
  switch (color) {
    case orlo::LampColor::Green:
      return "green";
    case orlo::LampColor::Red:
      return "red";
    case orlo::LampColor::Black:
      return "black";
  }
  return "unknown";
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " ADDRESS\n";
    return 2;
  }
  orlo::MemoryMonitorView view;
  view.setEnableValue(0, 1);
  view.setAddressText(0, argv[1]);
  orlo::Module1 echo;
  orlo::doping(view, echo);
  const orlo::ProbeReport report = view.probeReport(0);
  std::cout << "status " << report.status << '\n'
            << "lamp " << lampName(view.lampColor(0)) << '\n'
            << "text " << orlo::probeReportText(report, argv[0]) << '\n';
  return 0;
}
