#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QString>

#include "ui/qt/end_signals.h"
#include "ui/qt/form1.h"

namespace orlo {

// The program's start on Linux, with what only the Qt build decides: which Qt platform to ask
// for, whether the X display must be tried first, and whether the platform keeps windows on
// top. The start-up order itself is Form1Handlers::start.

// The platform to ask Qt for, chosen before QApplication exists from the values of
// QT_QPA_PLATFORM, WAYLAND_DISPLAY and DISPLAY (nothing for an unset variable). In a Wayland
// session that also offers X11 (XWayland) the X11 platform is preferred, since a native Wayland
// window cannot be kept above the others; Wayland stays as the fallback. Nothing means Qt's own
// choice; a platform the user picked is never overridden.
std::optional<std::string> preferredPlatform(const std::optional<std::string>& qpaPlatform,
                                             const std::optional<std::string>& waylandDisplay,
                                             const std::optional<std::string>& display);

// Whether the X display must be tried before QApplication exists, given QT_QPA_PLATFORM (after
// preferredPlatform), WAYLAND_DISPLAY and the command line. Qt aborts when the only platform it
// may use does not start, so the display is tried where that platform is X11: QT_QPA_PLATFORM
// "xcb", or none outside a Wayland session. A list such as "xcb;wayland" falls back by itself,
// and any other platform, or a platform or display named on the command line, is left to Qt.
bool needsX11DisplayCheck(const std::optional<std::string>& qpaPlatform,
                          const std::optional<std::string>& waylandDisplay,
                          const std::vector<std::string>& arguments);

// Whether windows on this Qt platform can be kept above the others.
bool platformKeepsWindowsOnTop(const QString& platformName);

// Start-up, then the event loop until the window is closed. Returns the program's exit status:
// 0, or kFailureExitStatus after a reported failure. Needs a QApplication. The end signals, when
// given, and the session manager's end-of-session request close the window as the user would,
// which saves the settings.
int runMonitor(const MonitorParts& parts, const EndSignals* endSignals = nullptr);

}  // namespace orlo
