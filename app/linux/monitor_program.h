#pragma once

#include <exception>

#include "app/linux/end_signals.h"
#include "ui/form1.h"
#include "ui/qt/message_presenter.h"

namespace orlo {

// The Linux program's run: the monitor window, its start-up, then the event loop until the
// window is closed. Returns the program's exit status: 0, or kFailureExitStatus after a reported
// failure. Needs a QApplication. The end signals, when given, and the session manager's
// end-of-session request end the program without its user: every window closes, an open box
// included, the monitor window saves, and a failure is written to the standard error stream
// rather than shown.
int runMonitor(const MonitorParts& parts, MessagePresenter& messages,
               const EndSignals* endSignals = nullptr);

// Reports a failure before the window exists in a box, which an end signal closes; returns
// kFailureExitStatus. A box that a signal closed unread is written to the standard error stream.
int reportStartFailure(MessagePresenter& messages, const EndSignals& endSignals,
                       const std::exception& failure);

}  // namespace orlo
