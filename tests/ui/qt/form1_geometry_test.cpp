// The window's layout in pixels at one logical DPI. This file is built three times: at 96 dpi,
// at 144 dpi as the logical DPI, and at 144 dpi reached by Qt's own scaling (logical 96,
// device pixel ratio 1.5). ORLO_EXPECTED_DPI names the logical DPI the window must see and
// ORLO_EXPECTED_DPR_PERCENT the device pixel ratio; ORLO_GEOMETRY_SUITE names the test suite
// of each build, so that CTest tells the three apart.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QRect>
#include <QTest>

#include "tests/ui/qt/qt_window_support.h"

namespace orlo {
namespace {

using testing_support::QtWindowParts;

struct ControlRects {
  const char* name;
  QRect at96;
  QRect at144;
};

// Left, top, width and height in pixels, relative to the client area.
const ControlRects kControls[] = {
    {"Command1", {128, 8, 49, 17}, {192, 12, 74, 26}},
    {"Command2", {128, 32, 49, 17}, {192, 48, 74, 26}},
    {"Label1", {8, 56, 81, 17}, {12, 84, 122, 26}},
    {"tijd", {80, 56, 45, 19}, {120, 84, 68, 29}},
    {"Label2", {128, 56, 41, 17}, {192, 84, 62, 26}},
    {"Check2", {8, 320, 169, 17}, {12, 480, 254, 26}},
    {"Text1_0", {48, 80, 133, 19}, {72, 120, 200, 29}},
    {"Text1_1", {48, 104, 133, 19}, {72, 156, 200, 29}},
    {"Text1_2", {48, 128, 133, 19}, {72, 192, 200, 29}},
    {"Text1_3", {48, 152, 133, 19}, {72, 228, 200, 29}},
    {"Text1_4", {48, 176, 133, 19}, {72, 264, 200, 29}},
    {"Text1_5", {48, 200, 133, 19}, {72, 300, 200, 29}},
    {"Text1_6", {48, 224, 133, 19}, {72, 336, 200, 29}},
    {"Text1_7", {48, 248, 133, 19}, {72, 372, 200, 29}},
    {"Text1_8", {48, 272, 133, 19}, {72, 408, 200, 29}},
    {"Text1_9", {48, 296, 133, 19}, {72, 444, 200, 29}},
    {"Check1_0", {8, 80, 33, 17}, {12, 120, 50, 26}},
    {"Check1_1", {8, 104, 33, 17}, {12, 156, 50, 26}},
    {"Check1_2", {8, 128, 33, 17}, {12, 192, 50, 26}},
    {"Check1_3", {8, 152, 33, 17}, {12, 228, 50, 26}},
    {"Check1_4", {8, 176, 33, 17}, {12, 264, 50, 26}},
    {"Check1_5", {8, 200, 33, 17}, {12, 300, 50, 26}},
    {"Check1_6", {8, 224, 33, 17}, {12, 336, 50, 26}},
    {"Check1_7", {8, 248, 33, 17}, {12, 372, 50, 26}},
    {"Check1_8", {8, 272, 33, 17}, {12, 408, 50, 26}},
    {"Check1_9", {0, 296, 41, 17}, {0, 444, 62, 26}},
    {"Shape1_0", {8, 8, 17, 17}, {12, 12, 26, 26}},
    {"Shape1_1", {32, 8, 17, 17}, {48, 12, 26, 26}},
    {"Shape1_2", {56, 8, 17, 17}, {84, 12, 26, 26}},
    {"Shape1_3", {80, 8, 17, 17}, {120, 12, 26, 26}},
    {"Shape1_4", {104, 8, 17, 17}, {156, 12, 26, 26}},
    {"Shape1_5", {8, 32, 17, 17}, {12, 48, 26, 26}},
    {"Shape1_6", {32, 32, 17, 17}, {48, 48, 26, 26}},
    {"Shape1_7", {56, 32, 17, 17}, {84, 48, 26, 26}},
    {"Shape1_8", {80, 32, 17, 17}, {120, 48, 26, 26}},
    {"Shape1_9", {104, 32, 17, 17}, {156, 48, 26, 26}},
};

struct ClientHeights {
  int width;
  int atCreation;
  int collapsed;
  int expanded;
};

constexpr ClientHeights kClientAt96{187, 55, 56, 343};
constexpr ClientHeights kClientAt144{281, 83, 84, 515};

constexpr bool kAt144 = ORLO_EXPECTED_DPI == 144;

class Form1GeometryTest : public testing::Test, protected QtWindowParts {
 protected:
  Form1Widget window{parts, messages, true};
};

using ORLO_GEOMETRY_SUITE = Form1GeometryTest;

TEST_F(ORLO_GEOMETRY_SUITE, TheWindowSeesTheLogicalDpiOfItsScreen) {
  EXPECT_EQ(window.logicalDpiX(), ORLO_EXPECTED_DPI);
  EXPECT_EQ(window.logicalDpiY(), ORLO_EXPECTED_DPI);
  EXPECT_DOUBLE_EQ(window.devicePixelRatioF(), ORLO_EXPECTED_DPR_PERCENT / 100.0);
}

TEST_F(ORLO_GEOMETRY_SUITE, EveryControlSitsAtItsTwipsRectangle) {
  for (const ControlRects& control : kControls) {
    SCOPED_TRACE(control.name);
    const auto* widget = window.findChild<QWidget*>(QLatin1String(control.name));
    ASSERT_NE(widget, nullptr);
    const QRect expected = kAt144 ? control.at144 : control.at96;
    EXPECT_EQ(widget->geometry(), expected);
    // On the screen a logical pixel covers devicePixelRatio device pixels.
    EXPECT_EQ(qRound(widget->width() * widget->devicePixelRatioF()),
              qRound(expected.width() * ORLO_EXPECTED_DPR_PERCENT / 100.0));
  }
}

TEST_F(ORLO_GEOMETRY_SUITE, ClientAreaAtCreationCannotBeResizedByTheUser) {
  const ClientHeights client = kAt144 ? kClientAt144 : kClientAt96;
  EXPECT_EQ(window.size(), QSize(client.width, client.atCreation));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
}

TEST_F(ORLO_GEOMETRY_SUITE, ExpandAndCollapseUseTheClientHeightsAtThisDpi) {
  const ClientHeights client = kAt144 ? kClientAt144 : kClientAt96;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QPoint position = window.pos();
  auto* command1 = window.findChild<QPushButton*>(QStringLiteral("Command1"));
  ASSERT_NE(command1, nullptr);

  command1->click();
  EXPECT_EQ(window.size(), QSize(client.width, client.expanded));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  command1->click();
  EXPECT_EQ(window.size(), QSize(client.width, client.collapsed));
  EXPECT_EQ(window.pos(), position);

  // Everything down to Check2 lies inside the expanded client area, and the interval row lies
  // just below the collapsed one.
  const QRect check2 = kAt144 ? kControls[5].at144 : kControls[5].at96;
  const QRect label1 = kAt144 ? kControls[2].at144 : kControls[2].at96;
  EXPECT_LE(check2.bottom(), client.expanded - 1);
  EXPECT_EQ(label1.top(), client.collapsed);
  window.close();
}

}  // namespace
}  // namespace orlo
