// The Qt window's controls and their wiring to Form1: names, captions, tab order, values both
// ways, clicks, lamps on the screen, what assistive technology is told, the on-top command's
// native window, and the first tick's wait for the first paint. What Form1 decides is tested on
// its own, without Qt.

#include <gtest/gtest.h>

#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>
#include <QtGui/qpa/qwindowsysteminterface.h>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "tests/ui/qt/qt_window_support.h"
#include "ui/form1_controls.h"

namespace orlo {
namespace {

using testing_support::QtWindowParts;

constexpr int kWaitMs = 10000;

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

class Form1WidgetTest : public testing::Test, protected QtWindowParts {
 protected:
  Form1Widget window{parts, messages, true};
  Form1& form = window.form();

  template <typename T>
  T* control(const QString& name) {
    T* found = window.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
  QCheckBox* check1(int slot) { return control<QCheckBox>(slotName("Check1", slot)); }
  QLineEdit* text1(int slot) { return control<QLineEdit>(slotName("Text1", slot)); }
  QCheckBox* check2() { return control<QCheckBox>(QStringLiteral("Check2")); }
  bool nativeOnTop() {
    return window.windowHandle() != nullptr &&
           window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint);
  }

  QRgb lampPixel(int slot) {
    QWidget* lamp = control<QWidget>(slotName("Shape1", slot));
    const QImage image = window.grab().toImage();
    return image.pixel(lamp->geometry().center()) & 0xFFFFFF;
  }
};

TEST_F(Form1WidgetTest, ControlsInOrderWithTheirCaptionsAndNoDefaultButtonsOrAccessKeys) {
  QList<QWidget*> made = window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  made.removeIf([](const QWidget* child) { return child->isWindow(); });  // the context menu
  const std::vector<ControlSpec> specs = form1Controls();
  ASSERT_EQ(made.size(), static_cast<qsizetype>(specs.size()));
  for (std::size_t index = 0; index < specs.size(); ++index) {
    const QWidget* control = made[static_cast<qsizetype>(index)];
    SCOPED_TRACE(specs[index].name);
    EXPECT_EQ(control->objectName().toStdString(), specs[index].name);
    // Buttons, boxes and labels show their caption; text boxes start empty; lamps show none.
    EXPECT_EQ(control->property("text").toString().toStdString(), specs[index].caption);
    EXPECT_FALSE(control->property("text").toString().contains(QLatin1Char('&')));
    EXPECT_FALSE(control->property("default").toBool() ||
                 control->property("autoDefault").toBool());
    const bool takesFocus =
        specs[index].kind != ControlKind::Label && specs[index].kind != ControlKind::Lamp;
    EXPECT_EQ(control->focusPolicy() != Qt::NoFocus, takesFocus);
    // The enable boxes' captions stand left of the box.
    EXPECT_EQ(control->layoutDirection() == Qt::RightToLeft,
              specs[index].kind == ControlKind::CheckBoxCaptionLeft);
  }
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Orlo - IP Monitor"));
  auto* timer = control<QTimer>(QStringLiteral("Timer1"));
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 1000);
  EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
  EXPECT_FALSE(timer->isSingleShot());
}

TEST_F(Form1WidgetTest, TabMovesThroughTheControlsInOrderStartingAtCommand1) {
  QStringList expected{QStringLiteral("Command1")};
  for (int slot = 0; slot < kSlotCount; ++slot) {
    expected << slotName("Text1", slot) << slotName("Check1", slot);
  }
  expected << QStringLiteral("Command2") << QStringLiteral("tijd") << QStringLiteral("Check2")
           << QStringLiteral("Command1");

  ASSERT_TRUE(form.handlers().start());
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

TEST_F(Form1WidgetTest, ValuesAndClicksCrossBetweenTheControlsAndForm1) {
  // Texts, both ways; bytes that are not UTF-8 stay as given while nobody edits them.
  const std::string notUtf8 = "\xFF\xFE\xC3(";
  form.setAddressText(4, "127.0.0.1");
  form.setIntervalText(notUtf8);
  QTest::keyClicks(text1(4), QStringLiteral("0"));
  EXPECT_EQ(form.addressText(4), "127.0.0.10");
  EXPECT_EQ(form.intervalText(), notUtf8);
  control<QLineEdit>(QStringLiteral("tijd"))->setText(QStringLiteral("7"));
  EXPECT_EQ(form.intervalText(), "7");

  // Box values map to check states, and a click reaches Form1's click rule.
  const std::pair<std::int16_t, Qt::CheckState> states[] = {
      {1, Qt::Checked}, {2, Qt::PartiallyChecked}, {0, Qt::Unchecked}};
  for (const auto& [value, state] : states) {
    form.setEnableValue(3, value);
    form.setOnTopValue(value);
    EXPECT_EQ(check1(3)->checkState(), state);
    EXPECT_EQ(check2()->checkState(), state);
  }
  form.setEnableValue(6, 2);
  check1(6)->click();
  EXPECT_EQ(form.enableValue(6), 1);
  QTest::keyClick(check1(6), Qt::Key_Space);
  EXPECT_EQ(form.enableValue(6), 0);

  // Check2 runs the on-top command on the native window, which exists before the first show;
  // ">>" changes the height; "?" shows the about box.
  check2()->click();
  EXPECT_EQ(form.onTopValue(), 1);
  EXPECT_TRUE(nativeOnTop());
  EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  check2()->click();
  EXPECT_FALSE(nativeOnTop());
  const int height = window.height();
  control<QPushButton>(QStringLiteral("Command1"))->click();
  EXPECT_GT(window.height(), height);
  control<QPushButton>(QStringLiteral("Command2"))->click();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].content.title, "Orlo - Monitor");
}

TEST_F(Form1WidgetTest, CheckingOnTopKeepsTheNativeWindowItsPlaceAndActivatesItBothWays) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QWindow* native = window.windowHandle();
  const WId id = window.winId();
  const QRect geometry = window.geometry();
  QWidget other;
  other.show();
  for (const std::int16_t value : {std::int16_t{1}, std::int16_t{0}, std::int16_t{1}}) {
    SCOPED_TRACE(value);
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    form.setOnTopValue(value);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  EXPECT_EQ(window.windowHandle(), native);
  EXPECT_EQ(window.winId(), id);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.geometry(), geometry);
  EXPECT_TRUE(nativeOnTop());
  window.close();
}

TEST_F(Form1WidgetTest, ACollapseFollowsAnExpandThatTheWindowManagerCutShort) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  auto* command1 = control<QPushButton>(QStringLiteral("Command1"));
  command1->click();
  const int expanded = window.height();
  // The window manager fits the expanded window to a smaller screen, after the expand.
  QWindowSystemInterface::handleGeometryChange(
      window.windowHandle(), QRect(window.geometry().topLeft(), QSize(window.width(), 300)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.height() == 300; }, kWaitMs));
  command1->click();
  EXPECT_LT(window.height(), 100);
  command1->click();
  EXPECT_EQ(window.height(), expanded);
}

TEST_F(Form1WidgetTest, TheContextMenuOpensByMouseAndKeysAndSetsTheOptions) {
  ASSERT_TRUE(form.handlers().start());
  auto* menu = window.findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  QWidget* lamp = control<QWidget>(QStringLiteral("Shape1_3"));
  const std::function<void()> ways[] = {
      [&] {
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2),
                                lamp->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(lamp, &click);
      },
      // What the X11 platform makes of the menu key, for the widget with the focus.
      [&] {
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), QPoint(0, 0));
        QApplication::sendEvent(QApplication::focusWidget(), &key);
      },
      [&] { QTest::keyClick(window.windowHandle(), Qt::Key_F10, Qt::ShiftModifier); },
  };
  bool notify = false;
  for (const auto& open : ways) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, kWaitMs));
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 2);
    // The offscreen platform has no notification area.
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_TRUE(items[0]->text().endsWith(QStringLiteral("(this desktop has none)")));
    items[1]->trigger();
    notify = !notify;
    EXPECT_EQ(form.contextMenu()[1].checked, notify);
    menu->close();
  }
}

TEST(Form1WidgetWithoutOnTopTest, TheBoxStoresItsValueAndSaysTheDesktopDoesNotAllowIt) {
  QtWindowParts fresh;
  Form1Widget window{fresh.parts, fresh.messages, false};
  auto* box = window.findChild<QCheckBox*>(QStringLiteral("Check2"));
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->toolTip().contains(QStringLiteral("does not let")))
      << box->toolTip().toStdString();
  window.form().setOnTopValue(1);
  EXPECT_EQ(window.form().onTopValue(), 1);
  const QWindow* native = window.windowHandle();
  EXPECT_TRUE(native == nullptr || !native->flags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(Form1WidgetToolTipTest, ALampShowsItsWordsAsTextWhateverThePathInThemHolds) {
  QtWindowParts fresh;
  fresh.parts.programPath = "/opt/<b>x</b><img src=\"/tmp/i.png\">/orlo-monitor";
  Form1Widget window{fresh.parts, fresh.messages, true};
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ProbeReport refused{ProbeOutcome::NoSocket};
  refused.unusable = UnusableReason::NotPermitted;
  window.form().setProbeReport(0, refused);
  auto* lamp = window.findChild<QWidget*>(QStringLiteral("Shape1_0"));
  ASSERT_NE(lamp, nullptr);
  ASSERT_TRUE(lamp->toolTip().contains(QString::fromStdString(fresh.parts.programPath)));
  QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), lamp->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(lamp, &hover);
  QLabel* shown = nullptr;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
          if (top->objectName() == QLatin1String("qtooltip_label") && top->isVisible()) {
            shown = qobject_cast<QLabel*>(top);
          }
        }
        return shown != nullptr;
      },
      kWaitMs));
  // What the label draws: the words with the path as it was given, nothing bold, no picture.
  QTextDocument drawn;
  drawn.setHtml(shown->text());
  EXPECT_EQ(drawn.toPlainText().toStdString(), lamp->toolTip().toStdString());
  QToolTip::hideText();
}

TEST_F(Form1WidgetTest, LampsPaintTheExactRgbOfTheirColour) {
  const std::pair<LampColor, QRgb> cases[] = {
      {LampColor::Green, 0x00FF00}, {LampColor::Red, 0xFF0000}, {LampColor::Black, 0}};
  for (int slot = 0; slot < kSlotCount; ++slot) {
    form.setLampColor(slot, cases[slot % 3].first);
  }
  for (int slot = 0; slot < kSlotCount; ++slot) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(lampPixel(slot), cases[slot % 3].second);
  }
}

TEST_F(Form1WidgetTest, AScreenReaderTellsTheControlsApartAndHearsEachNewOutcomeOnce) {
  const auto accessibleText = [this](const QString& name, QAccessible::Text kind) {
    const QAccessibleInterface* found =
        QAccessible::queryAccessibleInterface(window.findChild<QWidget*>(name));
    return found == nullptr ? std::string("<no interface>") : found->text(kind).toStdString();
  };
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(accessibleText(slotName("Text1", slot), QAccessible::Name),
              "Host " + std::to_string(slot + 1) + " address");
    EXPECT_EQ(accessibleText(slotName("Shape1", slot), QAccessible::Name),
              "Host " + std::to_string(slot + 1));
  }
  EXPECT_EQ(accessibleText(QStringLiteral("tijd"), QAccessible::Name),
            "Refresh interval in minutes");
  EXPECT_EQ(accessibleText(QStringLiteral("Command1"), QAccessible::Description),
            "Show or hide the addresses and options");
  EXPECT_EQ(accessibleText(QStringLiteral("Command2"), QAccessible::Description),
            "About Orlo - IP Monitor");
  EXPECT_EQ(accessibleText(QStringLiteral("Shape1_0"), QAccessible::Description),
            "not checked yet");

  AccessibilityEvents events;
  form.setAddressText(0, "127.0.0.1");
  form.setEnableValue(0, 1);
  echo.statusOf["127.0.0.1"] = ip_status::kSuccess;
  form.handlers().doping();
  form.handlers().doping();
  echo.statusOf["127.0.0.1"] = ip_status::kTimedOut;
  form.handlers().doping();
  auto* lamp0 = control<QWidget>(QStringLiteral("Shape1_0"));
  EXPECT_TRUE(lamp0->toolTip().startsWith(QStringLiteral("no reply within 500 ms\nsince ")));
  EXPECT_EQ(accessibleText(QStringLiteral("Shape1_0"), QAccessible::Description),
            lamp0->toolTip().toStdString());
  // Slot 0 went from "not checked yet" to a reply, then to none; slot 1 once to "not watched".
  EXPECT_EQ(events.count(lamp0, QAccessible::DescriptionChanged), 2);
  EXPECT_EQ(
      events.count(control<QWidget>(QStringLiteral("Shape1_1")), QAccessible::DescriptionChanged),
      1);
}

// Keeps a window from ever being exposed, as a window manager does with a window it maps on a
// workspace that is not shown: the window is never painted.
class ExposeBlocker : public QObject {
 public:
  explicit ExposeBlocker(QWindow* window) { window->installEventFilter(this); }

 protected:
  bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Expose; }
};

// Counts the paints of a widget.
class PaintCount : public QObject {
 public:
  explicit PaintCount(QObject* watched) { watched->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    count += event->type() == QEvent::Paint ? 1 : 0;
    return false;
  }
};

TEST(Form1WidgetTickTest, ATickBeforeTheFirstPaintWaitsForItOrTheNextTickAndCountsOnce) {
  for (const bool exposed : {true, false}) {
    SCOPED_TRACE(exposed ? "exposed" : "never exposed");
    QtWindowParts fresh;
    Form1Widget window{fresh.parts, fresh.messages, true};
    window.winId();
    std::optional<ExposeBlocker> blocker;
    if (!exposed) {
      blocker.emplace(window.windowHandle());
    }
    PaintCount paints(&window);
    int paintsAtSecondSweep = -1;
    fresh.echo.onStartSockets = [&] {
      if (fresh.echo.sweeps == 2) {
        paintsAtSecondSweep = paints.count;
      }
    };
    ASSERT_TRUE(window.form().handlers().load());
    ASSERT_EQ(fresh.echo.sweeps, 1);

    // Ticks that fall due during a slow first sweep, before the window is shown.
    window.timer1Tick();
    window.timer1Tick();
    window.timer1Tick();
    EXPECT_EQ(fresh.echo.sweeps, 1);

    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fresh.echo.sweeps >= 2; }, kWaitMs));
    EXPECT_EQ(paintsAtSecondSweep > 0, exposed) << paintsAtSecondSweep;
    // The waiting ticks come as one: the schedule counted one tick, which ran its first sweep,
    // and with the interval "5" no further tick sweeps for five minutes.
    QCoreApplication::processEvents();
    EXPECT_EQ(fresh.echo.sweeps, 2);
    EXPECT_EQ(window.form().intervalText(), "5");
    window.close();
  }
}

}  // namespace
}  // namespace orlo
