#include "app/linux/qt_platform.h"

#include <xcb/xcb.h>

#include <algorithm>

#include "program_identity.h"

namespace orlo {
namespace {

bool isSet(const std::optional<std::string>& value) {
  return value && !value->empty();
}

}  // namespace

std::optional<std::string> preferredPlatform(const std::optional<std::string>& qpaPlatform,
                                             const std::optional<std::string>& waylandDisplay,
                                             const std::optional<std::string>& display) {
  if (isSet(qpaPlatform) || !isSet(waylandDisplay) || !isSet(display)) {
    return std::nullopt;
  }
  return "xcb;wayland";
}

bool needsX11DisplayCheck(const std::optional<std::string>& qpaPlatform,
                          const std::optional<std::string>& waylandDisplay,
                          const std::vector<std::string>& arguments) {
  const auto namesPlatformOrDisplay = [](const std::string& argument) {
    return argument == "-platform" || argument == "--platform" || argument == "-display" ||
           argument == "--display";
  };
  if (std::any_of(arguments.begin(), arguments.end(), namesPlatformOrDisplay)) {
    return false;
  }
  if (isSet(qpaPlatform)) {
    return *qpaPlatform == "xcb";
  }
  return !isSet(waylandDisplay);
}

bool platformKeepsWindowsOnTop(const QString& platformName) {
  // Qt's platforms for desktops whose window managers honour a stay-on-top request, and the
  // offscreen platform, which keeps the flag as asked. Native Wayland, for one, has no such
  // request.
  return platformName == QLatin1String("xcb") || platformName == QLatin1String("windows") ||
         platformName == QLatin1String("cocoa") || platformName == QLatin1String("offscreen");
}

std::optional<std::string> x11DisplayProblem(const std::optional<std::string>& display) {
  if (!display || display->empty()) {
    return std::string(identity::kProductName) +
           " needs a graphical session: DISPLAY is not set, so there is no X display to open.";
  }
  xcb_connection_t* connection = xcb_connect(display->c_str(), nullptr);
  const bool opened = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  if (opened) {
    return std::nullopt;
  }
  return std::string(identity::kProductName) +
         " needs a graphical session: cannot open the X display \"" + *display +
         "\" named by DISPLAY.";
}

}  // namespace orlo
