#include "app/linux/qt_platform.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <system_error>

#include "core/unique_fd.h"
#include "program_identity.h"

namespace orlo {
namespace {

bool isSet(const std::optional<std::string>& value) {
  return value && !value->empty();
}

std::vector<std::string> platformList(const std::string& value) {
  std::vector<std::string> platforms;
  std::istringstream list(value);
  for (std::string platform; std::getline(list, platform, ';');) {
    platforms.push_back(platform);
  }
  return platforms;
}

// Why the X display does not open, or nothing when it does.
std::optional<std::string> x11Problem(const std::optional<std::string>& display) {
  if (!isSet(display)) {
    return "DISPLAY is not set, so there is no X display to open";
  }
  xcb_connection_t* connection = xcb_connect(display->c_str(), nullptr);
  const bool opened = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  if (opened) {
    return std::nullopt;
  }
  return "cannot open the X display \"" + *display + "\" named by DISPLAY";
}

// Why the Wayland display does not answer, or nothing when it does: its socket is
// WAYLAND_DISPLAY itself where that is a path, or else in XDG_RUNTIME_DIR.
std::optional<std::string> waylandProblem(const DisplayEnvironment& environment) {
  if (!isSet(environment.waylandDisplay)) {
    return "WAYLAND_DISPLAY is not set, so there is no Wayland display to reach";
  }
  const std::string& name = *environment.waylandDisplay;
  const std::string unreachable =
      "cannot reach the Wayland display \"" + name + "\" named by " + "WAYLAND_DISPLAY";
  if (name.front() != '/' && !isSet(environment.runtimeDir)) {
    return unreachable + " (XDG_RUNTIME_DIR is not set)";
  }
  const std::string path = name.front() == '/' ? name : *environment.runtimeDir + "/" + name;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    return unreachable + " (" + path + " is too long for a socket)";
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  // Non-blocking, so that a compositor too busy to take the connection yet (EAGAIN) cannot hold
  // the start up: it is there.
  const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (socket.valid() &&
      (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
       errno == EAGAIN)) {
    return std::nullopt;
  }
  return unreachable + " (" + path + ": " + std::generic_category().message(errno) + ")";
}

}  // namespace

std::optional<std::string> preferredPlatform(const DisplayEnvironment& environment) {
  if (isSet(environment.qpaPlatform) || !isSet(environment.waylandDisplay)) {
    return std::nullopt;
  }
  return isSet(environment.display) ? "xcb;wayland" : "wayland";
}

std::optional<std::string> displayProblem(const DisplayEnvironment& environment) {
  const auto namesPlatformOrDisplay = [](const std::string& argument) {
    return argument == "-platform" || argument == "--platform" || argument == "-display" ||
           argument == "--display";
  };
  if (std::any_of(environment.arguments.begin(), environment.arguments.end(),
                  namesPlatformOrDisplay)) {
    return std::nullopt;
  }
  std::string problems;
  for (const std::string& platform :
       platformList(isSet(environment.qpaPlatform) ? *environment.qpaPlatform : "xcb")) {
    std::optional<std::string> problem;
    if (platform == "xcb") {
      problem = x11Problem(environment.display);
    } else if (platform.rfind("wayland", 0) == 0) {
      problem = waylandProblem(environment);
    }
    if (!problem) {
      return std::nullopt;
    }
    problems += (problems.empty() ? "" : "; ") + *problem;
  }
  return std::string(identity::kProductName) + " needs a graphical session: " + problems + ".";
}

bool platformKeepsWindowsOnTop(const QString& platformName) {
  // Qt's platforms for desktops whose window managers honour a stay-on-top request, and the
  // offscreen platform, which keeps the flag as asked. Native Wayland, for one, has no such
  // request.
  return platformName == QLatin1String("xcb") || platformName == QLatin1String("windows") ||
         platformName == QLatin1String("cocoa") || platformName == QLatin1String("offscreen");
}

}  // namespace orlo
