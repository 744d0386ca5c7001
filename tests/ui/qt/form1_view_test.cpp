// The Qt window's controls: names, captions, tab order, check states, lamps on the screen, the
// on-top command's native window, what assistive technology is told, and the MonitorView contract
// over the real widgets.

#include <gtest/gtest.h>

#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>
#include <QAccessible>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <utility>
#include <vector>

#include "tests/support/memory_settings_store.h"
#include "tests/support/monitor_view_contract.h"
#include "tests/support/scripted_echo.h"
#include "tests/ui/qt/monitor_test_support.h"
#include "ui/form1_controls.h"
#include "ui/qt/form1.h"

namespace orlo {
namespace {

using testing_support::MemorySettingsStore;
using testing_support::RecordingPresenter;
using testing_support::ScriptedEcho;

QString slotName(const char* array, int slot) {
  return QString::fromStdString(slotControlName(array, slot));
}

// Records the accessibility events that Qt sends to assistive technology while it lives. The
// offscreen platform has no screen reader to switch accessibility on, so it switches it on as Qt's
// own accessibility tests do. Qt takes a plain function as the receiver, hence the one recorder.
class AccessibilityEvents {
 public:
  AccessibilityEvents() {
    recorder = this;
    QAccessible::installUpdateHandler(&record);
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
  }
  ~AccessibilityEvents() {
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
    QAccessible::installUpdateHandler(nullptr);
    recorder = nullptr;
  }
  AccessibilityEvents(const AccessibilityEvents&) = delete;
  AccessibilityEvents& operator=(const AccessibilityEvents&) = delete;

  int count(const QObject* object, QAccessible::Event type) const {
    return static_cast<int>(
        std::count(events_.begin(), events_.end(),
                   std::pair<const QObject*, QAccessible::Event>{object, type}));
  }

 private:
  static void record(QAccessibleEvent* event) {
    recorder->events_.emplace_back(event->object(), event->type());
  }
  static inline AccessibilityEvents* recorder = nullptr;
  std::vector<std::pair<const QObject*, QAccessible::Event>> events_;
};

class Form1ViewTest : public testing::Test {
 protected:
  MemorySettingsStore store;
  ScriptedEcho echo;
  RecordingPresenter messages;
  Form1 window{{store, echo, messages, true}};

  template <typename T>
  T* control(const QString& name) {
    T* found = window.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
  QCheckBox* check1(int slot) { return control<QCheckBox>(slotName("Check1", slot)); }
  QLineEdit* text1(int slot) { return control<QLineEdit>(slotName("Text1", slot)); }
  QCheckBox* check2() { return control<QCheckBox>(QStringLiteral("Check2")); }

  QRgb lampPixel(int slot) {
    QWidget* lamp = control<QWidget>(slotName("Shape1", slot));
    const QImage image = window.grab().toImage();
    return image.pixel(lamp->geometry().center()) & 0xFFFFFF;
  }
};

TEST_F(Form1ViewTest, CaptionsLayoutDirectionsAndTimer) {
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Orlo - IP Monitor"));
  EXPECT_EQ(control<QPushButton>(QStringLiteral("Command1"))->text(), QStringLiteral(">>"));
  EXPECT_EQ(control<QPushButton>(QStringLiteral("Command2"))->text(), QStringLiteral("?"));
  EXPECT_EQ(control<QLabel>(QStringLiteral("Label1"))->text(), QStringLiteral("Refresh every"));
  EXPECT_EQ(control<QLabel>(QStringLiteral("Label2"))->text(), QStringLiteral("minutes"));
  EXPECT_EQ(check2()->text(), QStringLiteral("Window always on top."));
  for (int slot = 0; slot < kSlotCount; ++slot) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(check1(slot)->text(), QStringLiteral("%1.").arg(slot + 1));
    // The caption stands left of the box.
    EXPECT_EQ(check1(slot)->layoutDirection(), Qt::RightToLeft);
  }
  EXPECT_EQ(check2()->layoutDirection(), Qt::LeftToRight);

  auto* timer = control<QTimer>(QStringLiteral("Timer1"));
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 1000);
  EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
  EXPECT_FALSE(timer->isSingleShot());
}

TEST_F(Form1ViewTest, NoDefaultButtonsAndNoAccessKeys) {
  for (const QPushButton* button : window.findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
    EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
  }
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    EXPECT_FALSE(button->text().contains(QLatin1Char('&'))) << button->text().toStdString();
  }
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    EXPECT_EQ(label->buddy(), nullptr);
    EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
  }
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(control<QWidget>(slotName("Shape1", slot))->focusPolicy(), Qt::NoFocus);
  }
}

TEST_F(Form1ViewTest, TabMovesThroughTheControlsInOrderStartingAtCommand1) {
  QStringList expected{QStringLiteral("Command1")};
  for (int slot = 0; slot < kSlotCount; ++slot) {
    expected << slotName("Text1", slot) << slotName("Check1", slot);
  }
  expected << QStringLiteral("Command2") << QStringLiteral("tijd") << QStringLiteral("Check2")
           << QStringLiteral("Command1");

  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QStringList visited;
  for (int step = 0; step < expected.size(); ++step) {
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr) << "step " << step;
    visited << focused->objectName();
    QTest::keyClick(focused, Qt::Key_Tab);
  }
  EXPECT_EQ(visited, expected);
  window.close();
}

TEST_F(Form1ViewTest, WhatTheUserTypesIsWhatTheViewReads) {
  window.setAddressText(4, "127.0.0.1");
  QTest::keyClicks(text1(4), QStringLiteral("0"));
  EXPECT_EQ(window.addressText(4), "127.0.0.10");
  EXPECT_EQ(text1(4)->text(), QStringLiteral("127.0.0.10"));
}

TEST_F(Form1ViewTest, BoxValuesMapToCheckStates) {
  const struct {
    std::int16_t value;
    Qt::CheckState state;
  } cases[] = {{1, Qt::Checked}, {2, Qt::PartiallyChecked}, {0, Qt::Unchecked}};
  for (const auto& each : cases) {
    SCOPED_TRACE(each.value);
    window.setEnableValue(3, each.value);
    EXPECT_EQ(check1(3)->checkState(), each.state);
    EXPECT_EQ(window.enableValue(3), each.value);
    window.setOnTopValue(each.value);
    EXPECT_EQ(check2()->checkState(), each.state);
    EXPECT_EQ(window.onTopValue(), each.value);
  }
  // A click reads back as the user sees it.
  check1(6)->click();
  EXPECT_EQ(window.enableValue(6), 1);
  check1(6)->click();
  EXPECT_EQ(window.enableValue(6), 0);
}

TEST_F(Form1ViewTest, AClickOnAGreyedBoxChecksItAndLaterClicksOnlyToggle) {
  window.setEnableValue(2, 2);
  check1(2)->click();
  EXPECT_EQ(window.enableValue(2), 1);
  check1(2)->click();
  EXPECT_EQ(window.enableValue(2), 0);
  check1(2)->click();
  EXPECT_EQ(window.enableValue(2), 1);

  window.setOnTopValue(2);
  check2()->click();
  EXPECT_EQ(window.onTopValue(), 1);
  check2()->click();
  EXPECT_EQ(window.onTopValue(), 0);
  check2()->click();
  EXPECT_EQ(window.onTopValue(), 1);
}

TEST_F(Form1ViewTest, OnTopCommandRunsOnceOnAChangeAndNotOnTheSameValue) {
  QSignalSpy commands(&window, &Form1::onTopCommandRan);
  window.setOnTopValue(1);
  ASSERT_EQ(commands.count(), 1);
  EXPECT_TRUE(commands.at(0).at(0).toBool());
  // The native window exists before the first show and carries the flag.
  ASSERT_NE(window.windowHandle(), nullptr);
  EXPECT_TRUE(window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  window.setOnTopValue(1);
  EXPECT_EQ(commands.count(), 1);

  window.setOnTopValue(0);
  ASSERT_EQ(commands.count(), 2);
  EXPECT_FALSE(commands.at(1).at(0).toBool());
  EXPECT_FALSE(window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));

  window.setOnTopValue(0);
  EXPECT_EQ(commands.count(), 2);

  // A click on the box runs the same command; a value the box refuses runs nothing.
  check2()->click();
  ASSERT_EQ(commands.count(), 3);
  EXPECT_TRUE(window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_THROW(window.setOnTopValue(3), InvalidBoxValue);
  EXPECT_EQ(commands.count(), 3);
}

TEST_F(Form1ViewTest, CheckingOnTopKeepsTheNativeWindowAndItsPlace) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QWindow* native = window.windowHandle();
  const WId id = window.winId();
  const QRect geometry = window.geometry();
  window.setOnTopValue(1);
  window.setOnTopValue(0);
  window.setOnTopValue(1);
  EXPECT_EQ(window.windowHandle(), native);
  EXPECT_EQ(window.winId(), id);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.geometry(), geometry);
  EXPECT_TRUE(native->flags().testFlag(Qt::WindowStaysOnTopHint));
  window.close();
}

TEST_F(Form1ViewTest, OnTopActivatesTheWindowBothWays) {
  window.show();
  QWidget other;
  other.show();
  for (const std::int16_t value : {std::int16_t{1}, std::int16_t{0}}) {
    SCOPED_TRACE(value);
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_FALSE(window.isActiveWindow());
    window.setOnTopValue(value);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  window.close();
}

TEST(Form1WithoutOnTopTest, TheBoxStoresItsValueAndSaysTheDesktopDoesNotAllowIt) {
  MemorySettingsStore store;
  ScriptedEcho echo;
  RecordingPresenter messages;
  Form1 window{{store, echo, messages, false}};
  QSignalSpy commands(&window, &Form1::onTopCommandRan);
  auto* box = window.findChild<QCheckBox*>(QStringLiteral("Check2"));
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->toolTip().contains(QStringLiteral("does not let")))
      << box->toolTip().toStdString();

  window.setOnTopValue(1);
  EXPECT_EQ(window.onTopValue(), 1);
  EXPECT_EQ(commands.count(), 1);
  const QWindow* native = window.windowHandle();
  EXPECT_TRUE(native == nullptr || !native->flags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(Form1ViewTest, LampsPaintTheExactRgbOfTheirColour) {
  const struct {
    LampColor color;
    QRgb rgb;
  } cases[] = {{LampColor::Green, 0x00FF00}, {LampColor::Red, 0xFF0000}, {LampColor::Black, 0}};
  for (const auto& each : cases) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
      window.setLampColor(slot, each.color);
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
      SCOPED_TRACE(slot);
      EXPECT_EQ(lampPixel(slot), each.rgb);
    }
  }
  // Each lamp shows its own colour.
  window.setLampColor(0, LampColor::Green);
  window.setLampColor(1, LampColor::Red);
  EXPECT_EQ(lampPixel(0), 0x00FF00u);
  EXPECT_EQ(lampPixel(1), 0xFF0000u);
  EXPECT_EQ(lampPixel(2), 0u);
}

TEST_F(Form1ViewTest, LampsHaveNamesAndSayWhatTheirLastProbeFound) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    QWidget* lamp = control<QWidget>(slotName("Shape1", slot));
    EXPECT_EQ(lamp->accessibleName(), QStringLiteral("Host %1").arg(slot + 1));
  }
  window.setProbeReport(0, {ProbeOutcome::Answered, 0});
  window.setProbeReport(7, {ProbeOutcome::Failed, ip_status::kTimedOut});
  QWidget* lamp0 = control<QWidget>(QStringLiteral("Shape1_0"));
  QWidget* lamp7 = control<QWidget>(QStringLiteral("Shape1_7"));
  EXPECT_EQ(lamp0->toolTip(), QStringLiteral("reply"));
  EXPECT_EQ(lamp0->accessibleDescription(), QStringLiteral("reply"));
  EXPECT_EQ(lamp7->toolTip(), QStringLiteral("no reply within 500 ms"));
}

TEST_F(Form1ViewTest, AScreenReaderTellsTheBoxesApartAndHearsEachNewOutcomeOnce) {
  const auto accessibleText = [this](const QString& name, QAccessible::Text kind) {
    const QAccessibleInterface* control =
        QAccessible::queryAccessibleInterface(window.findChild<QWidget*>(name));
    return control == nullptr ? std::string("<no interface>") : control->text(kind).toStdString();
  };
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(accessibleText(slotName("Text1", slot), QAccessible::Name),
              "Host " + std::to_string(slot + 1) + " address");
  }
  EXPECT_EQ(accessibleText(QStringLiteral("tijd"), QAccessible::Name),
            "Refresh interval in minutes");
  EXPECT_EQ(accessibleText(QStringLiteral("Command1"), QAccessible::Description),
            "Show or hide the addresses and options");
  EXPECT_EQ(accessibleText(QStringLiteral("Command2"), QAccessible::Description),
            "About Orlo - IP Monitor");

  AccessibilityEvents events;
  window.setAddressText(0, "127.0.0.1");
  window.setEnableValue(0, 1);
  echo.statusOf["127.0.0.1"] = ip_status::kSuccess;
  window.handlers().doping();
  const std::string firstOutcome =
      accessibleText(QStringLiteral("Shape1_0"), QAccessible::Description);
  window.handlers().doping();
  echo.statusOf["127.0.0.1"] = ip_status::kTimedOut;
  window.handlers().doping();
  EXPECT_NE(accessibleText(QStringLiteral("Shape1_0"), QAccessible::Description), firstOutcome);
  // Slot 0 went from "not checked yet" to a reply, then to none; slot 1 once to "not watched".
  const auto changes = [&](const char* lamp) {
    return events.count(control<QWidget>(QString::fromLatin1(lamp)),
                        QAccessible::DescriptionChanged);
  };
  EXPECT_EQ(changes("Shape1_0"), 2);
  EXPECT_EQ(changes("Shape1_1"), 1);
}

TEST_F(Form1ViewTest, ASweepOverTheWindowPaintsAndExplainsEveryLamp) {
  window.setAddressText(0, "127.0.0.1");
  window.setEnableValue(0, 1);
  window.setAddressText(1, "abc");
  window.setEnableValue(1, 1);
  window.setAddressText(2, "127.0.0.2");
  window.setAddressText(3, "127.0.0.3");
  window.setEnableValue(3, 1);
  echo.statusOf["127.0.0.1"] = ip_status::kSuccess;
  echo.statusOf["abc"] = ip_status::kUnusable;
  echo.statusOf["127.0.0.3"] = ip_status::kDestHostUnreachable;

  window.handlers().doping();

  EXPECT_EQ(echo.probed, (std::vector<std::string>{"127.0.0.1", "abc", "127.0.0.3"}));
  EXPECT_EQ(window.lampColor(0), LampColor::Green);
  EXPECT_EQ(window.lampColor(1), LampColor::Red);
  EXPECT_EQ(window.lampColor(2), LampColor::Black);
  EXPECT_EQ(window.lampColor(3), LampColor::Red);
  EXPECT_EQ(control<QWidget>(QStringLiteral("Shape1_1"))->toolTip(),
            QStringLiteral("not an IPv4 address"));
  EXPECT_EQ(control<QWidget>(QStringLiteral("Shape1_2"))->toolTip(), QStringLiteral("not watched"));
  EXPECT_EQ(control<QWidget>(QStringLiteral("Shape1_3"))->toolTip(),
            QStringLiteral("destination host unreachable"));
}

}  // namespace

namespace testing_support {

struct Form1Subject {
  MemorySettingsStore store;
  ScriptedEcho echo;
  RecordingPresenter messages;
  Form1 window{{store, echo, messages, true}};
  MonitorView& view() { return window; }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Form1, MonitorViewContract, Form1Subject);

}  // namespace testing_support
}  // namespace orlo
