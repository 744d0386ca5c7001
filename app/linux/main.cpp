// The monitor on Linux: watches up to ten IPv4 hosts and shows each as a lamp in a Qt window.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "app/linux/end_signals.h"
#include "app/linux/monitor_program.h"
#include "app/linux/qt_platform.h"
#include "core/echo_probe.h"
#include "program_identity.h"
#include "settings/ini_file_store.h"
#include "ui/form1_handlers.h"
#include "ui/qt/message_presenter.h"
#include "ui/window_texts.h"

#include "app/orlo_icon.xpm"

namespace {

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) {
    return std::nullopt;
  }
  return std::string(value);
}

}  // namespace

int main(int argc, char* argv[]) {
  // First, before any thread exists; a logout or Ctrl+C then closes the window as the user would.
  orlo::blockEndSignals();

  if (const auto platform = orlo::preferredPlatform(environmentValue("QT_QPA_PLATFORM"),
                                                    environmentValue("WAYLAND_DISPLAY"),
                                                    environmentValue("DISPLAY"))) {
    qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*platform));
  }
  // Qt aborts, advising to reinstall, when it cannot open the display; say what is missing.
  if (orlo::needsX11DisplayCheck(environmentValue("QT_QPA_PLATFORM"),
                                 environmentValue("WAYLAND_DISPLAY"),
                                 std::vector<std::string>(argv + 1, argv + argc))) {
    if (const auto problem = orlo::x11DisplayProblem(environmentValue("DISPLAY"))) {
      std::fprintf(stderr, "%s\n", problem->c_str());
      return orlo::kFailureExitStatus;
    }
  }

  QApplication application(argc, argv);
  QCoreApplication::setOrganizationName(QString::fromUtf8(orlo::identity::kCompany));
  QCoreApplication::setApplicationVersion(QString::fromUtf8(orlo::identity::kVersion));
  QApplication::setWindowIcon(QIcon(QPixmap(orlo_icon_xpm)));

  orlo::MessageBoxPresenter messages;
  try {
    orlo::IniFileStore settings(orlo::IniFileStore::defaultFilePath());
    orlo::Module1 echo;
    const orlo::EndSignals endSignals;
    return orlo::runMonitor({settings, echo, QCoreApplication::applicationFilePath().toStdString()},
                            messages, &endSignals);
  } catch (const std::exception& failure) {
    // The window reports its own failures; this is what fails before it exists.
    messages.show(nullptr, orlo::startFailureReport(failure.what()));
    return orlo::kFailureExitStatus;
  }
}
