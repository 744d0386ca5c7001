#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QString>

namespace orlo {

// What the Linux program decides before QApplication exists: which Qt platform to ask for, and
// whether a display of that platform opens. Qt itself aborts, advising to reinstall, when none of
// the platforms it may use starts.

// The environment that decides it: the values of QT_QPA_PLATFORM, WAYLAND_DISPLAY, DISPLAY and
// XDG_RUNTIME_DIR (nothing for an unset variable), and the command line.
struct DisplayEnvironment {
  std::optional<std::string> qpaPlatform;
  std::optional<std::string> waylandDisplay;
  std::optional<std::string> display;
  std::optional<std::string> runtimeDir;
  std::vector<std::string> arguments;
};

// The platforms to ask Qt for, as a QT_QPA_PLATFORM value, when the user picked none: in a
// Wayland session that also offers X11 (XWayland) X11 first, since a native Wayland window cannot
// be kept above the others, and Wayland as the fallback; in a Wayland session alone, Wayland.
// Nothing means Qt's own choice (X11); a platform the user picked is never overridden.
std::optional<std::string> preferredPlatform(const DisplayEnvironment& environment);

// Tries the display of each platform Qt may use (QT_QPA_PLATFORM, after preferredPlatform, or X11)
// as Qt would: the X display of DISPLAY, the Wayland display of WAYLAND_DISPLAY. Returns nothing
// when one opens, or when the choice is left to Qt: a platform of another kind (offscreen, for
// one), or a platform or display named on the command line. Otherwise the one line that tells the
// user which displays were tried and that a graphical session is needed.
std::optional<std::string> displayProblem(const DisplayEnvironment& environment);

// Whether windows on this Qt platform can be kept above the others.
bool platformKeepsWindowsOnTop(const QString& platformName);

}  // namespace orlo
