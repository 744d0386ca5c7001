// The monitor on Linux: watches up to ten IPv4 hosts and shows each as a lamp in a Qt window.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "app/linux/end_signals.h"
#include "app/linux/monitor_program.h"
#include "app/linux/qt_platform.h"
#include "core/echo_probe.h"
#include "program_identity.h"
#include "settings/autostart_entry.h"
#include "settings/ini_file_store.h"
#include "ui/form1_handlers.h"
#include "ui/qt/message_presenter.h"

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
  // A write past the file-size limit then fails with EFBIG, which the save reports, rather than
  // killing the program and the user's edits with it.
  std::signal(SIGXFSZ, SIG_IGN);

  orlo::DisplayEnvironment environment{
      environmentValue("QT_QPA_PLATFORM"), environmentValue("WAYLAND_DISPLAY"),
      environmentValue("DISPLAY"), environmentValue("XDG_RUNTIME_DIR"),
      std::vector<std::string>(argv + 1, argv + argc)};
  if (const auto platform = orlo::preferredPlatform(environment)) {
    qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*platform));
    environment.qpaPlatform = platform;
  }
  if (const auto problem = orlo::displayProblem(environment)) {
    std::fprintf(stderr, "%s\n", problem->c_str());
    return orlo::kFailureExitStatus;
  }

  // Until now an end signal ends the program at once, with nothing to save. From here they are
  // blocked, before QApplication starts threads of its own, and read on the event loop: a logout
  // or Ctrl+C then closes the window as the user would, and any box that is open.
  std::optional<orlo::EndSignals> endSignals;
  try {
    orlo::blockEndSignals();
  } catch (const std::system_error& failure) {
    std::fprintf(stderr, "%s: %s\n", orlo::identity::kProductName, failure.what());
    return orlo::kFailureExitStatus;
  }
  QApplication application(argc, argv);
  try {
    endSignals.emplace();
  } catch (const std::system_error& failure) {
    std::fprintf(stderr, "%s: %s\n", orlo::identity::kProductName, failure.what());
    return orlo::kFailureExitStatus;
  }
  QCoreApplication::setOrganizationName(QString::fromUtf8(orlo::identity::kCompany));
  QCoreApplication::setApplicationVersion(QString::fromUtf8(orlo::identity::kVersion));
  QApplication::setWindowIcon(QIcon(QPixmap(orlo_icon_xpm)));

  orlo::MessageBoxPresenter messages;
  try {
    orlo::IniFileStore settings(orlo::IniFileStore::defaultFilePath());
    orlo::Module1 echo;
    // The program's own file, found through the system (/proc/self/exe): an absolute path with
    // its links resolved, which is what the entry that starts it at login names.
    const std::string programPath = QCoreApplication::applicationFilePath().toStdString();
    orlo::AutostartEntry loginStart(orlo::AutostartEntry::defaultFilePath(), programPath);
    orlo::MonitorParts parts{settings, echo, programPath};
    parts.loginStart = &loginStart;
    return orlo::runMonitor(parts, messages, &*endSignals);
  } catch (const std::exception& failure) {
    // The window reports its own failures; this is what fails before it exists.
    return orlo::reportStartFailure(messages, *endSignals, failure);
  }
}
