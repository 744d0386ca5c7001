#include "ui/qt/monitor_program.h"

#include <algorithm>

#include <QApplication>
#include <QSessionManager>

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

int runMonitor(const MonitorParts& parts, const EndSignals* endSignals) {
  // Closing every window closes an open message box first, then the monitor window, whose close
  // saves the settings once; the program then ends as after any close.
  const QObject session;
  const auto closeAllWindows = [] { QApplication::closeAllWindows(); };
  // Direct, as the session manager expects the data committed when the signal returns.
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, &session, closeAllWindows,
                   Qt::DirectConnection);
  if (endSignals != nullptr) {
    QObject::connect(endSignals, &EndSignals::received, &session, closeAllWindows);
  }
  Form1 window(parts);
  return window.handlers().run();
}

}  // namespace orlo
