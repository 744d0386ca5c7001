// The Qt window wired to its handlers, run as the program runs it: through startMonitor and
// runMonitor with a scripted echo service, an in-memory settings store and a presenter that
// records its message boxes. What the handlers decide is tested on its own, without Qt.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <pthread.h>

#include <algorithm>
#include <csignal>
#include <optional>
#include <stdexcept>

#include "tests/support/memory_settings_store.h"
#include "tests/support/scripted_echo.h"
#include "tests/ui/qt/monitor_test_support.h"
#include "ui/qt/form1.h"
#include "ui/qt/monitor_program.h"

namespace orlo {
namespace {

using testing_support::findMonitorWindow;
using testing_support::MemorySettingsStore;
using testing_support::RecordingPresenter;
using testing_support::ScriptedEcho;
using testing_support::startMonitor;

constexpr int kWaitMs = 10000;

// Records events of one kind that reach a widget, in order.
class EventLog : public QObject {
 public:
  EventLog(QObject* watched, QEvent::Type type) : type_(type) { watched->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == type_) {
      ++count;
    }
    return false;
  }

 private:
  QEvent::Type type_;
};

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

class MonitorProgramTest : public testing::Test {
 protected:
  MemorySettingsStore store;
  ScriptedEcho echo;
  RecordingPresenter messages;
  MonitorParts parts{store, echo, messages, true};

  // Runs the program; the action runs on the event loop's first turn, with the window.
  int runWith(const std::function<void(Form1&)>& action) { return runWith(parts, action); }

  static int runWith(const MonitorParts& program, const std::function<void(Form1&)>& action,
                     const EndSignals* endSignals = nullptr) {
    QTimer driver;
    driver.setSingleShot(true);
    QObject::connect(&driver, &QTimer::timeout, [&] {
      auto* window = qobject_cast<Form1*>(findMonitorWindow());
      if (window == nullptr) {
        ADD_FAILURE() << "no monitor window";
        QCoreApplication::exit(99);
        return;
      }
      action(*window);
    });
    driver.start(0);
    return runMonitor(program, endSignals);
  }

  template <typename T>
  static T* control(Form1& window, const QString& name) {
    T* found = window.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
};

TEST_F(MonitorProgramTest, TheFirstSweepSeesTheSettingsAndOnTopBeforeTheWindowIsShown) {
  store.setMonitorValues({{"ip0", "127.0.0.1"}, {"ipen0", "1"}});
  struct AtSweep {
    bool visible;
    bool onTopFlag;
    std::string address0;
  };
  std::vector<AtSweep> seen;
  echo.onStartSockets = [&] {
    QWidget* window = findMonitorWindow();
    ASSERT_NE(window, nullptr);
    const QWindow* native = window->windowHandle();
    seen.push_back({window->isVisible(),
                    native != nullptr && native->flags().testFlag(Qt::WindowStaysOnTopHint),
                    static_cast<Form1*>(window)->addressText(0)});
  };

  const std::unique_ptr<Form1> window = startMonitor(parts);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_FALSE(seen[0].visible);
  // The settings were in the window before the sweep, the stored-by-default on-top included.
  EXPECT_EQ(seen[0].address0, "127.0.0.1");
  EXPECT_TRUE(seen[0].onTopFlag);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->focusWidget(), window->findChild<QWidget*>(QStringLiteral("Command1")));
  EXPECT_TRUE(messages.shown.empty());
  window->close();
}

TEST_F(MonitorProgramTest, StoredOnTopZeroRunsNoCommandAndOneRunsItOnce) {
  for (const auto& [storedValue, runs] : {std::pair{"0", 0}, std::pair{"1", 1}}) {
    SCOPED_TRACE(storedValue);
    MemorySettingsStore fresh;
    fresh.setMonitorValues({{"ontop", storedValue}});
    Form1 window{{fresh, echo, messages, true}};
    QSignalSpy commands(&window, &Form1::onTopCommandRan);
    ASSERT_TRUE(window.handlers().load());
    EXPECT_EQ(commands.count(), runs);
    EXPECT_EQ(window.onTopValue(), runs);
  }
}

TEST_F(MonitorProgramTest, AFailingLoadIsReportedAloneEndsTheProgramAndNeverShowsTheWindow) {
  store.setMonitorValues({{"ip0", "127.0.0.1"}, {"ipen0", "1"}, {"ontop", "3"}});
  ShowWatch shows;
  EXPECT_EQ(runMonitor(parts), kFailureExitStatus);
  EXPECT_EQ(shows.monitorShows, 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_FALSE(messages.shown[0].parentVisible);
}

TEST_F(MonitorProgramTest, ClosingSavesWhatTheUserEditedAndEndsWithStatusZero) {
  store.setMonitorValues({{"ip0", "127.0.0.1"}, {"ipen0", "1"}, {"refresh", "7"}});
  const int status = runWith([](Form1& window) {
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
  const int status = runWith([&](Form1& window) {
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
      parts,
      [](Form1& window) {
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
  MonitorParts withRealBoxes{store, echo, realBoxes, true};
  const std::unique_ptr<Form1> window = startMonitor(withRealBoxes);
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

// Keeps a window from ever being exposed, as a window manager does with a window it maps on a
// workspace that is not shown: the window is never painted.
class ExposeBlocker : public QObject {
 public:
  explicit ExposeBlocker(QWindow* window) { window->installEventFilter(this); }

 protected:
  bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Expose; }
};

TEST_F(MonitorProgramTest, ATickBeforeTheFirstPaintWaitsForItOrTheNextTickAndCountsOnce) {
  for (const bool exposed : {true, false}) {
    SCOPED_TRACE(exposed ? "exposed" : "never exposed");
    MemorySettingsStore fresh;
    ScriptedEcho scripted;
    Form1 window{{fresh, scripted, messages, true}};
    window.winId();
    std::optional<ExposeBlocker> blocker;
    if (!exposed) {
      blocker.emplace(window.windowHandle());
    }
    EventLog paints(&window, QEvent::Paint);
    int paintsAtSecondSweep = -1;
    scripted.onStartSockets = [&] {
      if (scripted.sweeps == 2) {
        paintsAtSecondSweep = paints.count;
      }
    };
    ASSERT_TRUE(window.handlers().load());
    ASSERT_EQ(scripted.sweeps, 1);

    // Ticks that fall due during a slow first sweep, before the window is shown.
    window.timer1Tick();
    window.timer1Tick();
    window.timer1Tick();
    EXPECT_EQ(scripted.sweeps, 1);

    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return scripted.sweeps >= 2; }, kWaitMs));
    EXPECT_EQ(paintsAtSecondSweep > 0, exposed) << paintsAtSecondSweep;
    // The waiting ticks come as one: the schedule counted one tick, which ran its first sweep,
    // and with the interval "5" no further tick sweeps for five minutes.
    QCoreApplication::processEvents();
    EXPECT_EQ(scripted.sweeps, 2);
    EXPECT_EQ(window.intervalText(), "5");
    window.close();
  }
}

}  // namespace
}  // namespace orlo
