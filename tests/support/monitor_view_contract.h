#pragma once

// What every MonitorView keeps to, as one GoogleTest suite typed over the view under test. A
// test file instantiates it once for its view, in this namespace:
//
//   INSTANTIATE_TYPED_TEST_SUITE_P(Memory, MonitorViewContract, MemoryViewSubject);
//
// A subject is default-constructible, owns whatever its view needs and gives the view with
// view(). Include this header in one file per test program.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/monitor_view.h"

namespace orlo::testing_support {

template <typename Subject>
class MonitorViewContract : public testing::Test {
 protected:
  Subject subject;
  MonitorView& viewUnderTest = subject.view();
};

TYPED_TEST_SUITE_P(MonitorViewContract);

TYPED_TEST_P(MonitorViewContract, StartsWithEmptyTextsUncheckedBoxesAndBlackLamps) {
  const MonitorView& view = this->viewUnderTest;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(view.addressText(slot), "");
    EXPECT_EQ(view.enableValue(slot), 0);
    EXPECT_EQ(view.lampColor(slot), LampColor::Black);
  }
  EXPECT_EQ(view.intervalText(), "");
  EXPECT_EQ(view.onTopValue(), 0);
}

TYPED_TEST_P(MonitorViewContract, SlotsAreIndependent) {
  MonitorView& view = this->viewUnderTest;
  view.setAddressText(3, "10.0.0.3");
  view.setEnableValue(7, 1);
  view.setLampColor(9, LampColor::Green);
  view.setProbeReport(9, {ProbeOutcome::Answered, 0});
  for (int slot = 0; slot < kSlotCount; ++slot) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(view.addressText(slot), slot == 3 ? "10.0.0.3" : "");
    EXPECT_EQ(view.enableValue(slot), slot == 7 ? 1 : 0);
    EXPECT_EQ(view.lampColor(slot), slot == 9 ? LampColor::Green : LampColor::Black);
  }
  EXPECT_EQ(view.intervalText(), "");
}

TYPED_TEST_P(MonitorViewContract, TextsRoundTripExactlyWhateverTheirLengthOrContent) {
  MonitorView& view = this->viewUnderTest;
  const std::string texts[] = {
      "",
      "127.0.0.1",
      " 10.0.0.1 router",
      std::string(" 10.0.0.1, \"x\"\t\\\xC3\xA9\0z ", 21),
      "h\xC3\xB4te \xE2\x86\x92 \xF0\x9F\x96\xA5",
      "line\nbreak\ttab",
      std::string(40000, '7'),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 40));
    view.setAddressText(9, text);
    EXPECT_EQ(view.addressText(9), text);
    view.setIntervalText(text);
    EXPECT_EQ(view.intervalText(), text);
  }
}

TYPED_TEST_P(MonitorViewContract, BoxValuesZeroOneAndTwoReadBack) {
  MonitorView& view = this->viewUnderTest;
  for (const std::int16_t value : {std::int16_t{1}, std::int16_t{2}, std::int16_t{0}}) {
    SCOPED_TRACE(value);
    view.setEnableValue(3, value);
    EXPECT_EQ(view.enableValue(3), value);
    view.setOnTopValue(value);
    EXPECT_EQ(view.onTopValue(), value);
  }
}

TYPED_TEST_P(MonitorViewContract, OtherBoxValuesAreRefusedAndChangeNothing) {
  MonitorView& view = this->viewUnderTest;
  view.setEnableValue(1, 1);
  view.setOnTopValue(1);
  for (const std::int16_t value : {std::int16_t{-1}, std::int16_t{3}, std::int16_t{256},
                                   std::int16_t{-32768}, std::int16_t{32767}}) {
    SCOPED_TRACE(value);
    EXPECT_THROW(view.setEnableValue(1, value), InvalidBoxValue);
    EXPECT_THROW(view.setOnTopValue(value), InvalidBoxValue);
  }
  EXPECT_EQ(view.enableValue(1), 1);
  EXPECT_EQ(view.onTopValue(), 1);
}

TYPED_TEST_P(MonitorViewContract, SlotIndexesOutsideZeroToNineAreRefused) {
  MonitorView& view = this->viewUnderTest;
  for (const int slot : {-1, 10, 1000}) {
    SCOPED_TRACE(slot);
    EXPECT_THROW(view.addressText(slot), InvalidSlotIndex);
    EXPECT_THROW(view.setAddressText(slot, "x"), InvalidSlotIndex);
    EXPECT_THROW(view.enableValue(slot), InvalidSlotIndex);
    EXPECT_THROW(view.setEnableValue(slot, 1), InvalidSlotIndex);
    EXPECT_THROW(view.lampColor(slot), InvalidSlotIndex);
    EXPECT_THROW(view.setLampColor(slot, LampColor::Green), InvalidSlotIndex);
    EXPECT_THROW(view.setProbeReport(slot, {}), InvalidSlotIndex);
  }
}

TYPED_TEST_P(MonitorViewContract, LampsKeepTheColourTheyAreGivenAndReportsLeaveIt) {
  MonitorView& view = this->viewUnderTest;
  for (const LampColor color : {LampColor::Green, LampColor::Red, LampColor::Black}) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
      view.setLampColor(slot, color);
      view.setProbeReport(slot, {ProbeOutcome::Failed, 11010});
      EXPECT_EQ(view.lampColor(slot), color) << slot;
    }
  }
}

REGISTER_TYPED_TEST_SUITE_P(MonitorViewContract, StartsWithEmptyTextsUncheckedBoxesAndBlackLamps,
                            SlotsAreIndependent, TextsRoundTripExactlyWhateverTheirLengthOrContent,
                            BoxValuesZeroOneAndTwoReadBack,
                            OtherBoxValuesAreRefusedAndChangeNothing,
                            SlotIndexesOutsideZeroToNineAreRefused,
                            LampsKeepTheColourTheyAreGivenAndReportsLeaveIt);

}  // namespace orlo::testing_support
