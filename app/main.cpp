// Orlo - IP Monitor: watches up to ten IPv4 hosts and shows each as a lamp.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "core/echo_probe.h"
#include "settings/ini_file_store.h"
#include "ui/about_box.h"
#include "ui/message_presenter.h"
#include "ui/monitor_program.h"

#include "app/orlo_icon.xpm"
#include "app/x11_display.h"

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
  QCoreApplication::setOrganizationName(QStringLiteral("Orlo"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(orlo::kProgramVersion));
  QApplication::setWindowIcon(QIcon(QPixmap(orlo_icon_xpm)));

  orlo::MessageBoxPresenter messages;
  try {
    orlo::IniFileStore settings(orlo::IniFileStore::defaultFilePath());
    orlo::Module1 echo;
    const orlo::EndSignals endSignals;
    return orlo::runMonitor(
        {settings, echo, messages, orlo::platformKeepsWindowsOnTop(QApplication::platformName())},
        &endSignals);
  } catch (const std::exception& failure) {
    // The window reports its own failures; this is what fails before it exists.
    messages.show(nullptr, {QStringLiteral("Orlo - IP Monitor"),
                            QStringLiteral("Orlo - IP Monitor could not start.\n\n%1")
                                .arg(QString::fromUtf8(failure.what())),
                            QMessageBox::Critical});
    return orlo::kFailureExitStatus;
  }
}
