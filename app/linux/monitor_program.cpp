#include "app/linux/monitor_program.h"

#include <QApplication>
#include <QSessionManager>

#include "app/linux/qt_platform.h"
#include "ui/qt/form1_widget.h"

namespace orlo {

int runMonitor(const MonitorParts& parts, MessagePresenter& messages,
               const EndSignals* endSignals) {
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
  Form1Widget window(parts, messages, platformKeepsWindowsOnTop(QApplication::platformName()));
  return window.form().handlers().run();
}

}  // namespace orlo
