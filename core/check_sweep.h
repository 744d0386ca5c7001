#pragma once

#include "core/echo_probe.h"
#include "core/monitor_view.h"

namespace orlo {

// The payload of every echo request a sweep sends.
inline constexpr char kEchoPayload[] = "Echo";

// One check sweep: starts the sockets layer, then probes every enabled slot once, in index
// order, and paints every lamp: green for a reply, red for any other outcome (a probe that
// throws included), black for a slot that is not enabled (box value other than 1).
//
// Each slot's box and address are read when the sweep reaches it, so an edit made while an
// earlier slot is being probed is seen. One reply buffer, zeroed here, serves every probe of the
// sweep. When StartSockets returns false no lamp changes; when it throws the sweep goes on.
// The sweep skips any step that fails and reports nothing; it never throws. Returns false when
// StartSockets refused, and so nothing was swept.
bool doping(MonitorView& view, EchoService& echo);

// The colour a sweep paints for an outcome: green for a reply, black for a slot not watched, red
// for anything else.
LampColor lampColorOf(ProbeOutcome outcome);

}  // namespace orlo
