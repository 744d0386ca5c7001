#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QString>

namespace orlo {

// What the Linux program decides before QApplication exists: which Qt platform to ask for, and
// whether its display opens; Qt itself aborts, advising to reinstall, when it cannot start the
// one platform it may use.

// The platform to ask Qt for, chosen from the values of QT_QPA_PLATFORM, WAYLAND_DISPLAY and
// DISPLAY (nothing for an unset variable). In a Wayland session that also offers X11 (XWayland)
// the X11 platform is preferred, since a native Wayland window cannot be kept above the others;
// Wayland stays as the fallback. Nothing means Qt's own choice; a platform the user picked is
// never overridden.
std::optional<std::string> preferredPlatform(const std::optional<std::string>& qpaPlatform,
                                             const std::optional<std::string>& waylandDisplay,
                                             const std::optional<std::string>& display);

// Whether the X display must be tried before QApplication exists, given QT_QPA_PLATFORM (after
// preferredPlatform), WAYLAND_DISPLAY and the command line. The display is tried where the one
// platform Qt may use is X11: QT_QPA_PLATFORM "xcb", or none outside a Wayland session. A list
// such as "xcb;wayland" falls back by itself, and any other platform, or a platform or display
// named on the command line, is left to Qt.
bool needsX11DisplayCheck(const std::optional<std::string>& qpaPlatform,
                          const std::optional<std::string>& waylandDisplay,
                          const std::vector<std::string>& arguments);

// Tries to open the X display named by the DISPLAY value (nothing when DISPLAY is unset), as
// Qt's X11 platform would. Returns nothing when it opens, or else the one line that tells the
// user which display was tried and that a graphical session is needed.
std::optional<std::string> x11DisplayProblem(const std::optional<std::string>& display);

// Whether windows on this Qt platform can be kept above the others.
bool platformKeepsWindowsOnTop(const QString& platformName);

}  // namespace orlo
