// The window's behaviour over any toolkit's controls: Form1 over controls held in memory. Each
// toolkit's tests check that its controls and events reach Form1.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/monitor_view_contract.h"
#include "tests/ui/recording_skin.h"
#include "ui/form1.h"

namespace orlo {
namespace {

using testing_support::InMemoryWindow;
using Calls = std::vector<std::string>;

class Form1Test : public testing::Test, protected InMemoryWindow {};

TEST_F(Form1Test, ControlsStandAtTheirPlaceInTheList) {
  const std::vector<ControlSpec> controls = form1Controls();
  ASSERT_EQ(controls.size(), testing_support::RecordingSkin::kControls);
  for (std::size_t index = 0; index < controls.size(); ++index) {
    EXPECT_EQ(controlIndex(controls[index].control, controls[index].slot), index)
        << controls[index].name;
  }
}

TEST_F(Form1Test, ClicksOnButtonsRunTheirCommandsAndClicksOnBoxesFollowTheClickRule) {
  form.setEnableValue(2, 2);
  form.setOnTopValue(2);
  skin.calls.clear();
  // A greyed box is checked by a click; later clicks toggle. Only Check2 runs a command.
  for (const std::int16_t expected : {std::int16_t{1}, std::int16_t{0}, std::int16_t{1}}) {
    form.clicked(Control::Check1, 2);
    form.clicked(Control::Check2, -1);
    EXPECT_EQ(form.enableValue(2), expected);
    EXPECT_EQ(form.onTopValue(), expected);
  }
  form.clicked(Control::Command1, -1);
  form.clicked(Control::Command2, -1);
  form.clicked(Control::Shape1, 4);
  EXPECT_EQ(skin.calls,
            (Calls{"above", "normal stacking", "above", "resize", "over: Orlo - Monitor"}));
}

TEST_F(Form1Test, OnTopRunsOnceForEachChangeOfTheValueAndSkipsAFailure) {
  for (const std::int16_t value :
       {std::int16_t{1}, std::int16_t{1}, std::int16_t{0}, std::int16_t{2}, std::int16_t{0}}) {
    form.setOnTopValue(value);
  }
  EXPECT_EQ(skin.calls, (Calls{"above", "normal stacking", "normal stacking", "normal stacking"}));
  EXPECT_THROW(form.setOnTopValue(3), InvalidBoxValue);

  skin.failing = "above";
  EXPECT_NO_THROW(form.setOnTopValue(1));
  EXPECT_EQ(form.onTopValue(), 1);
  EXPECT_TRUE(skin.messages.empty());
  EXPECT_FALSE(form.handlers().failed());
}

TEST_F(Form1Test, LampsSayTheOutcomeTheRoundTripAndSinceWhenAndAnnounceOnlyANewOutcome) {
  form.setAddressText(0, "127.0.0.1");
  form.setEnableValue(0, 1);
  form.setAddressText(1, "abc");
  form.setEnableValue(1, 1);
  echo.roundTripMs = 3;
  echo.statusOf["abc"] = ip_status::kUnusable;
  echo.statusOf["127.0.0.1"] = ip_status::kSuccess;
  form.handlers().doping();
  EXPECT_EQ(skin.lampReport(0), "reply in 3 ms\nsince 14:05");

  now = at(14, 6);
  echo.roundTripMs = 0;
  form.handlers().doping();
  EXPECT_EQ(skin.lampReport(0), "reply in under 1 ms\nsince 14:05");

  now = at(9, 30, 341);
  echo.statusOf["127.0.0.1"] = ip_status::kTimedOut;
  form.handlers().doping();
  EXPECT_EQ(form.lampColor(0), LampColor::Red);
  EXPECT_EQ(skin.lampReport(0), "no reply within 500 ms\nsince 09:30");
  EXPECT_EQ(skin.lampReport(1), "not an IPv4 address\nsince 2026-12-07 14:05");
  EXPECT_EQ(form.lampColor(2), LampColor::Black);
  EXPECT_EQ(skin.lampReport(2), "not watched\nsince 2026-12-07 14:05");
  // Three sweeps: slot 0 had two outcomes, the others one each.
  EXPECT_EQ(skin.announced[0], 2);
  EXPECT_EQ(skin.announced[1], 1);
  EXPECT_EQ(skin.announced[9], 1);
}

TEST_F(Form1Test, ATextNobodyEditedReadsBackAsGivenAndAnEditedOneAsTheControlHoldsIt) {
  const std::string loaded("10.0.0.1\0 and more", 18);
  form.setAddressText(4, loaded);
  form.setIntervalText(loaded);
  EXPECT_EQ(skin.text(Control::Text1, 4), "10.0.0.1");
  EXPECT_EQ(form.addressText(4), loaded);
  EXPECT_EQ(form.intervalText(), loaded);

  skin.type(Control::Text1, 4, "10.0.0.12");
  skin.type(Control::Tijd, -1, "7");
  EXPECT_EQ(form.addressText(4), "10.0.0.12");
  EXPECT_EQ(form.intervalText(), "7");
  // Typed back to what the control showed, it is the loaded text again.
  skin.type(Control::Text1, 4, "10.0.0.1");
  EXPECT_EQ(form.addressText(4), loaded);
}

}  // namespace

namespace testing_support {

struct Form1Subject {
  InMemoryWindow window;
  MonitorView& view() { return window.form; }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Form1, MonitorViewContract, Form1Subject);

}  // namespace testing_support
}  // namespace orlo
