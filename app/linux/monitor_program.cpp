#include "app/linux/monitor_program.h"

#include <QApplication>
#include <QSessionManager>

#include "app/linux/qt_platform.h"
#include "ui/form1_handlers.h"
#include "ui/qt/form1_widget.h"

namespace orlo {

int runMonitor(const MonitorParts& parts, MessagePresenter& messages,
               const EndSignals* endSignals) {
  Form1Widget window(parts, messages, platformKeepsWindowsOnTop(QApplication::platformName()));
  // Closing every window closes an open message box first, then the monitor window, whose close
  // saves the settings once; the program then ends as after any close.
  const QObject session;
  const auto endWithoutUser = [&window] {
    window.form().handlers().endUnattended();
    QApplication::closeAllWindows();
  };
  // Direct, as the session manager expects the data committed when the signal returns.
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, &session, endWithoutUser,
                   Qt::DirectConnection);
  if (endSignals != nullptr) {
    QObject::connect(endSignals, &EndSignals::received, &session, endWithoutUser);
  }
  return window.form().handlers().run();
}

int reportStartFailure(MessagePresenter& messages, const EndSignals& endSignals,
                       const std::exception& failure) {
  const MessageBoxContent report = startFailureReport(failure.what());
  bool ended = false;
  const QObject session;
  QObject::connect(&endSignals, &EndSignals::received, &session, [&ended] {
    ended = true;
    QApplication::closeAllWindows();
  });
  messages.show(nullptr, report);
  if (ended) {
    writeToStandardError(report.oneLine());
  }
  return kFailureExitStatus;
}

}  // namespace orlo
