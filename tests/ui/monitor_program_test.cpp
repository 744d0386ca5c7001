// Start-up, close and the window's commands, run as the program runs them: through
// startMonitor and runMonitor with a scripted echo service, an in-memory settings store and a
// presenter that records its message boxes.

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
#include <chrono>
#include <csignal>
#include <optional>
#include <stdexcept>
#include <thread>

#include "tests/support/memory_settings_store.h"
#include "tests/ui/monitor_test_support.h"
#include "ui/about_box.h"
#include "ui/form1.h"
#include "ui/monitor_program.h"

namespace orlo {
namespace {

using testing_support::findMonitorWindow;
using testing_support::MemorySettingsStore;
using testing_support::preset;
using testing_support::RecordingPresenter;
using testing_support::ScriptedEcho;
using testing_support::stored;
using Clock = std::chrono::steady_clock;

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

TEST_F(MonitorProgramTest, SettingsLoadThenFirstSweepThenShow) {
  preset(store, {{"ip0", "127.0.0.1"},
                 {"ipen0", "1"},
                 {"ip1", "abc"},
                 {"ipen1", "1"},
                 {"ip2", "127.0.0.2"},
                 {"ipen2", "0"}});
  echo.statusOf["127.0.0.1"] = ip_status::kSuccess;
  echo.statusOf["abc"] = ip_status::kUnusable;
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
  EXPECT_EQ(window->lampColor(0), LampColor::Green);
  EXPECT_EQ(window->lampColor(1), LampColor::Red);
  EXPECT_EQ(window->lampColor(2), LampColor::Black);
  EXPECT_EQ(window->intervalText(), "5");
  EXPECT_EQ(window->onTopValue(), 1);
  EXPECT_EQ(window->focusWidget(), window->findChild<QWidget*>(QStringLiteral("Command1")));
  EXPECT_TRUE(messages.shown.empty());
  window->close();
}

TEST_F(MonitorProgramTest, StoredOnTopZeroRunsNoCommandAndOneRunsItOnce) {
  for (const auto& [storedValue, runs] : {std::pair{"0", 0}, std::pair{"1", 1}}) {
    SCOPED_TRACE(storedValue);
    MemorySettingsStore fresh;
    preset(fresh, {{"ontop", storedValue}});
    Form1 window{{fresh, echo, messages, true}};
    QSignalSpy commands(&window, &Form1::onTopCommandRan);
    ASSERT_TRUE(window.load());
    EXPECT_EQ(commands.count(), runs);
    EXPECT_EQ(window.onTopValue(), runs);
  }
}

TEST_F(MonitorProgramTest, AFailingLoadIsReportedEndsTheProgramAndNeverShowsTheWindow) {
  preset(store, {{"ip0", "127.0.0.1"}, {"ipen0", "1"}, {"ontop", "3"}});
  ShowWatch shows;
  const int status = runMonitor(parts);
  EXPECT_EQ(status, kFailureExitStatus);
  EXPECT_EQ(shows.monitorShows, 0);
  EXPECT_EQ(echo.sweeps, 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  const std::string text = messages.shown[0].content.text.toStdString();
  EXPECT_NE(text.find("ontop"), std::string::npos) << text;
  EXPECT_NE(text.find('3'), std::string::npos) << text;
  EXPECT_EQ(messages.shown[0].content.icon, QMessageBox::Critical);
  EXPECT_FALSE(messages.shown[0].parentVisible);
}

TEST_F(MonitorProgramTest, AStoreThatCannotBeReadIsReportedLikewise) {
  store.failGetsOf("ip4");
  ShowWatch shows;
  EXPECT_EQ(runMonitor(parts), kFailureExitStatus);
  EXPECT_EQ(shows.monitorShows, 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].content.text.toStdString().find("ip4"), std::string::npos);
}

TEST_F(MonitorProgramTest, ClosingSavesWhatTheUserEditedAndEndsWithStatusZero) {
  preset(store, {{"ip0", "127.0.0.1"}, {"ipen0", "1"}, {"refresh", "7"}});
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
  EXPECT_EQ(stored(store, "ip3"), "127.0.0.9");
  EXPECT_EQ(stored(store, "ipen3"), "1");
  EXPECT_EQ(stored(store, "ip0"), "127.0.0.1");
  EXPECT_EQ(stored(store, "ipen0"), "0");
  EXPECT_EQ(stored(store, "ip9"), "");
  EXPECT_EQ(stored(store, "ipen9"), "0");
  EXPECT_EQ(stored(store, "refresh"), "7");
  EXPECT_EQ(stored(store, "ontop"), "0");
  // The edit did not reach the sweep before a sweep ran.
  EXPECT_EQ(std::count(echo.probed.begin(), echo.probed.end(), "127.0.0.9"), 0);
}

TEST_F(MonitorProgramTest, AFailingSaveIsReportedAndTheProgramEndsWithStatusOne) {
  preset(store, {{"ip0", "kept"}});
  bool closed = false;
  const int status = runWith([&](Form1& window) {
    control<QLineEdit>(window, QStringLiteral("Text1_0"))->setText(QStringLiteral("lost"));
    store.failCommits();
    closed = window.close();
  });
  EXPECT_TRUE(closed);  // closing is never cancelled
  EXPECT_EQ(status, kFailureExitStatus);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].content.icon, QMessageBox::Critical);
  EXPECT_NE(messages.shown[0].content.text.toStdString().find("could not save"), std::string::npos);
  EXPECT_EQ(stored(store, "ip0"), "kept");
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
  EXPECT_EQ(stored(store, "ip3"), "kept");
}

// Shows failure reports, but cannot show the about box.
class BrokenAboutPresenter final : public MessagePresenter {
 public:
  std::vector<MessageBoxContent> failures;
  void show(QWidget*, const MessageBoxContent& content) override {
    if (content.title == QLatin1String("Orlo - Monitor")) {
      throw std::runtime_error("no message box today");
    }
    failures.push_back(content);
  }
};

TEST_F(MonitorProgramTest, AFailingAboutBoxIsReportedAndEndsTheProgramAfterSaving) {
  BrokenAboutPresenter broken;
  const int status = runWith({store, echo, broken, true}, [](Form1& window) {
    control<QLineEdit>(window, QStringLiteral("Text1_5"))->setText(QStringLiteral("kept"));
    QTest::mouseClick(control<QPushButton>(window, QStringLiteral("Command2")), Qt::LeftButton);
  });
  EXPECT_EQ(status, kFailureExitStatus);
  ASSERT_EQ(broken.failures.size(), 1u);
  const std::string text = broken.failures[0].text.toStdString();
  EXPECT_NE(text.find("about box"), std::string::npos) << text;
  EXPECT_NE(text.find("no message box today"), std::string::npos) << text;
  // Ending the program closed the window, and closing saved the user's edit.
  EXPECT_EQ(stored(store, "ip5"), "kept");
}

TEST_F(MonitorProgramTest, FirstClickExpandsSecondCollapsesAnOddHeightExpands) {
  const std::unique_ptr<Form1> window = startMonitor(parts);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  auto* command1 = control<QPushButton>(*window, QStringLiteral("Command1"));
  const int width = window->width();
  ASSERT_EQ(window->height(), 55);  // at creation, 825 twips at 96 dpi

  const struct {
    int heightBefore;  // 0: leave the height as it is
    int heightAfter;
  } clicks[] = {{0, 343}, {0, 56}, {0, 343}, {0, 56}, {200, 343}, {342, 343}, {344, 343}, {0, 56}};
  for (const auto& click : clicks) {
    if (click.heightBefore != 0) {
      window->setFixedSize(width, click.heightBefore);
    }
    SCOPED_TRACE(window->height());
    QTest::mouseClick(command1, Qt::LeftButton);
    EXPECT_EQ(window->height(), click.heightAfter);
    EXPECT_EQ(window->width(), width);
    EXPECT_EQ(command1->text(), QStringLiteral(">>"));
  }
  EXPECT_TRUE(messages.shown.empty());
  window->close();
}

TEST_F(MonitorProgramTest, AboutBoxHasItsTitleAndSevenLines) {
  const std::unique_ptr<Form1> window = startMonitor(parts);
  ASSERT_NE(window, nullptr);
  QTest::mouseClick(control<QPushButton>(*window, QStringLiteral("Command2")), Qt::LeftButton);
  ASSERT_EQ(messages.shown.size(), 1u);
  const MessageBoxContent& about = messages.shown[0].content;
  EXPECT_EQ(about.title, QStringLiteral("Orlo - Monitor"));
  EXPECT_EQ(about.icon, QMessageBox::NoIcon);
  const QStringList lines = about.text.split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 7);
  EXPECT_EQ(lines[0], QStringLiteral("Orlo - IP Monitor v1.00"));
  EXPECT_TRUE(lines[1].isEmpty());
  EXPECT_FALSE(lines[2].isEmpty());
  EXPECT_FALSE(lines[3].isEmpty());
  EXPECT_TRUE(lines[4].isEmpty());
  EXPECT_FALSE(lines[5].isEmpty());
  EXPECT_TRUE(lines[6].startsWith(QStringLiteral("https://"))) << lines[6].toStdString();
  EXPECT_TRUE(messages.shown[0].parentVisible);
  window->close();
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
    box->button(QMessageBox::Ok)->click();
  });
  dismiss.start(10);
  QTest::mouseClick(control<QPushButton>(*window, QStringLiteral("Command2")), Qt::LeftButton);

  EXPECT_EQ(title, QStringLiteral("Orlo - Monitor"));
  EXPECT_EQ(text.split(QLatin1Char('\n')).value(0), QStringLiteral("Orlo - IP Monitor v1.00"));
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(icon, QMessageBox::NoIcon);
  EXPECT_EQ(modality, Qt::ApplicationModal);
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
    ASSERT_TRUE(window.load());
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
    QTest::qWait(50);
    EXPECT_EQ(scripted.sweeps, 2);
    EXPECT_EQ(window.intervalText(), "5");
    window.close();
  }
}

TEST_F(MonitorProgramTest, AfterALongSweepOneTickComesAtOnceAndNoBurst) {
  // Every tick sweeps; the sweep of the first tick blocks for two and a half intervals.
  preset(store, {{"ip0", "127.0.0.1"}, {"ipen0", "1"}, {"refresh", "-1"}});
  echo.statusOf["127.0.0.1"] = ip_status::kSuccess;
  std::vector<Clock::time_point> sweepStarts;
  Clock::time_point longSweepEnd;
  echo.onStartSockets = [&] { sweepStarts.push_back(Clock::now()); };
  echo.onProbe = [&](const std::string&) {
    if (echo.sweeps == 2) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2500));
      longSweepEnd = Clock::now();
    }
  };
  const std::unique_ptr<Form1> window = startMonitor(parts);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return echo.sweeps >= 4; }, kWaitMs));
  window->close();

  using std::chrono::milliseconds;
  const auto afterLongSweep =
      std::chrono::duration_cast<milliseconds>(sweepStarts[2] - longSweepEnd);
  const auto betweenNextTwo =
      std::chrono::duration_cast<milliseconds>(sweepStarts[3] - sweepStarts[2]);
  // The ticks missed during the sweep come as one, right away rather than a full interval
  // later; the one after it keeps the interval instead of following in a burst.
  EXPECT_LT(afterLongSweep.count(), 900);
  EXPECT_GE(betweenNextTwo.count(), 500);
}

TEST(DisplayCheckTest, OnlyWhereX11IsTheOnePlatformQtMayUse) {
  using Text = std::optional<std::string>;
  const struct {
    Text qpaPlatform;
    Text waylandDisplay;
    std::vector<std::string> arguments;
    bool check;
  } cases[] = {
      {std::nullopt, std::nullopt, {}, true},
      {std::nullopt, "", {}, true},
      {"xcb", "wayland-0", {}, true},
      {std::nullopt, "wayland-0", {}, false},
      {"xcb;wayland", "wayland-0", {}, false},
      {"offscreen", std::nullopt, {}, false},
      {std::nullopt, std::nullopt, {"-platform", "offscreen"}, false},
      {std::nullopt, std::nullopt, {"--display", ":1"}, false},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.qpaPlatform.value_or("<unset>") + " " +
                 each.waylandDisplay.value_or("<unset>"));
    EXPECT_EQ(needsX11DisplayCheck(each.qpaPlatform, each.waylandDisplay, each.arguments),
              each.check);
  }
}

}  // namespace
}  // namespace orlo
