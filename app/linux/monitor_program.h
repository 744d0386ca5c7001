#pragma once

#include "app/linux/end_signals.h"
#include "ui/form1.h"
#include "ui/qt/message_presenter.h"

namespace orlo {

// The Linux program's run: the monitor window, its start-up, then the event loop until the
// window is closed. Returns the program's exit status: 0, or kFailureExitStatus after a reported
// failure. Needs a QApplication. The end signals, when given, and the session manager's
// end-of-session request close the window as the user would, which saves the settings.
int runMonitor(const MonitorParts& parts, MessagePresenter& messages,
               const EndSignals* endSignals = nullptr);

}  // namespace orlo
