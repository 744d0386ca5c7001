// The Linux program's run: the Qt window started and run as the program runs it, through
// runMonitor, with a scripted echo service, an in-memory settings store and a presenter that
// records its message boxes, and ended by the user, a failure or the end signals. What the
// handlers decide is tested on its own, without Qt.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <pthread.h>

#include <algorithm>
#include <csignal>
#include <functional>

#include "app/linux/monitor_program.h"
#include "tests/ui/qt/qt_window_support.h"

namespace orlo {
namespace {

using testing_support::findMonitorWindow;
using testing_support::QtWindowParts;
using testing_support::startMonitor;

// Counts the monitor window's Show events anywhere in the application.
class ShowWatch : public QObject {
 public:
  ShowWatch() { qApp->installEventFilter(this); }
  ~ShowWatch() override { qApp->removeEventFilter(this); }
  int monitorShows = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->objectName() == QLatin1String("Form1")) {
      ++monitorShows;
    }
    return false;
  }
};

class MonitorProgramTest : public testing::Test, protected QtWindowParts {
 protected:
  // Runs the program; the action runs on the event loop's first turn, with the window.
  int runWith(const std::function<void(Form1Widget&)>& action,
              const EndSignals* endSignals = nullptr) {
    QTimer driver;
    driver.setSingleShot(true);
    QObject::connect(&driver, &QTimer::timeout, [&] {
      Form1Widget* window = findMonitorWindow();
      if (window == nullptr) {
        ADD_FAILURE() << "no monitor window";
        QCoreApplication::exit(99);
        return;
      }
      action(*window);
    });
    driver.start(0);
    return runMonitor(parts, messages, endSignals);
  }

  template <typename T>
  static T* control(Form1Widget& window, const QString& name) {
    T* found = window.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
};

TEST_F(MonitorProgramTest, AFailingLoadIsReportedAloneEndsTheProgramAndNeverShowsTheWindow) {
  store.setMonitorValues({{"ip0", "127.0.0.1"}, {"ipen0", "1"}, {"ontop", "3"}});
  ShowWatch shows;
  EXPECT_EQ(runMonitor(parts, messages), kFailureExitStatus);
  EXPECT_EQ(shows.monitorShows, 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_FALSE(messages.shown[0].parentVisible);
}

TEST_F(MonitorProgramTest, ClosingSavesWhatTheUserEditedAndEndsWithStatusZero) {
  store.setMonitorValues({{"ip0", "127.0.0.1"}, {"ipen0", "1"}, {"refresh", "7"}});
  const int status = runWith([](Form1Widget& window) {
    auto* address = control<QLineEdit>(window, QStringLiteral("Text1_3"));
    QTest::keyClicks(address, QStringLiteral("127.0.0.9"));
    control<QCheckBox>(window, QStringLiteral("Check1_3"))->click();
    control<QCheckBox>(window, QStringLiteral("Check1_0"))->click();
    control<QCheckBox>(window, QStringLiteral("Check2"))->click();
    window.close();
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(store.monitorValue("ip3"), "127.0.0.9");
  EXPECT_EQ(store.monitorValue("ipen3"), "1");
  EXPECT_EQ(store.monitorValue("ip0"), "127.0.0.1");
  EXPECT_EQ(store.monitorValue("ipen0"), "0");
  EXPECT_EQ(store.monitorValue("ip9"), "");
  EXPECT_EQ(store.monitorValue("ipen9"), "0");
  EXPECT_EQ(store.monitorValue("refresh"), "7");
  EXPECT_EQ(store.monitorValue("ontop"), "0");
  // The edit did not reach the sweep before a sweep ran.
  EXPECT_EQ(std::count(echo.probed.begin(), echo.probed.end(), "127.0.0.9"), 0);
}

TEST_F(MonitorProgramTest, AFailingSaveIsReportedAndTheProgramEndsWithStatusOne) {
  store.setMonitorValues({{"ip0", "kept"}});
  bool closed = false;
  const int status = runWith([&](Form1Widget& window) {
    control<QLineEdit>(window, QStringLiteral("Text1_0"))->setText(QStringLiteral("lost"));
    store.failCommits();
    closed = window.close();
  });
  EXPECT_TRUE(closed);  // closing is never cancelled
  EXPECT_EQ(status, kFailureExitStatus);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(messages.shown[0].parentVisible);
  EXPECT_EQ(store.monitorValue("ip0"), "kept");
}

TEST_F(MonitorProgramTest, EndSignalsCloseTheWindowWhichSavesOnceAndEndsWithStatusZero) {
  // Sent to this thread alone, which blocks them: no other thread of the test sees them.
  blockEndSignals();
  const EndSignals endSignals;
  int received = 0;
  QObject::connect(&endSignals, &EndSignals::received, [&] {
    // A second signal while the program ends.
    if (++received == 1) {
      pthread_kill(pthread_self(), SIGHUP);
    }
  });
  const int status = runWith(
      [](Form1Widget& window) {
        control<QLineEdit>(window, QStringLiteral("Text1_3"))->setText(QStringLiteral("kept"));
        pthread_kill(pthread_self(), SIGTERM);
      },
      &endSignals);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(received, 2);
  EXPECT_EQ(store.commitCount(), 1u);
  EXPECT_EQ(store.monitorValue("ip3"), "kept");
}

TEST_F(MonitorProgramTest, TheRealAboutBoxIsModalWithOnlyOkAndNoIcon) {
  MessageBoxPresenter realBoxes;
  const std::unique_ptr<Form1Widget> window = startMonitor(parts, realBoxes);
  ASSERT_NE(window, nullptr);

  QString title;
  QString text;
  QMessageBox::StandardButtons buttons;
  QMessageBox::Icon icon = QMessageBox::Critical;
  Qt::WindowModality modality = Qt::NonModal;
  const QWidget* parent = nullptr;
  QTimer dismiss;
  QObject::connect(&dismiss, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      return;  // not open yet: look again on the next turn
    }
    dismiss.stop();
    title = box->windowTitle();
    text = box->text();
    buttons = box->standardButtons();
    icon = box->icon();
    modality = box->windowModality();
    parent = box->parentWidget();
    box->button(QMessageBox::Ok)->click();
  });
  dismiss.start(10);
  QTest::mouseClick(control<QPushButton>(*window, QStringLiteral("Command2")), Qt::LeftButton);

  EXPECT_EQ(title, QStringLiteral("Orlo - Monitor"));
  EXPECT_EQ(text.split(QLatin1Char('\n')).value(0), QStringLiteral("Orlo - IP Monitor v1.00"));
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(icon, QMessageBox::NoIcon);
  EXPECT_EQ(modality, Qt::ApplicationModal);
  EXPECT_EQ(parent, window.get());
  window->close();
}

}  // namespace
}  // namespace orlo
