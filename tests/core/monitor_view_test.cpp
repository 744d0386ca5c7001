#include <gtest/gtest.h>

#include "core/memory_monitor_view.h"

namespace orlo {
namespace {

TEST(LampColorValues, ColourWordsAndRgbAgree) {
  EXPECT_EQ(static_cast<std::uint32_t>(LampColor::Green), 0x00FF00u);
  EXPECT_EQ(static_cast<std::uint32_t>(LampColor::Red), 0x0000FFu);
  EXPECT_EQ(static_cast<std::uint32_t>(LampColor::Black), 0u);
  EXPECT_EQ(rgbOf(LampColor::Green), (Rgb{0, 255, 0}));
  EXPECT_EQ(rgbOf(LampColor::Red), (Rgb{255, 0, 0}));
  EXPECT_EQ(rgbOf(LampColor::Black), (Rgb{0, 0, 0}));
}

TEST(MemoryMonitorView, StartsAsTheWindowDoes) {
  const MemoryMonitorView view;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(view.addressText(slot), "") << slot;
    EXPECT_EQ(view.enableValue(slot), 0) << slot;
    EXPECT_EQ(view.lampColor(slot), LampColor::Black) << slot;
  }
  EXPECT_EQ(view.intervalText(), "");
  EXPECT_EQ(view.onTopValue(), 0);
}

TEST(MemoryMonitorView, SlotsAreIndependent) {
  MemoryMonitorView view;
  view.setAddressText(3, "10.0.0.3");
  view.setEnableValue(7, 1);
  view.setLampColor(9, LampColor::Green);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(view.addressText(slot), slot == 3 ? "10.0.0.3" : "") << slot;
    EXPECT_EQ(view.enableValue(slot), slot == 7 ? 1 : 0) << slot;
    EXPECT_EQ(view.lampColor(slot), slot == 9 ? LampColor::Green : LampColor::Black) << slot;
  }
}

TEST(MemoryMonitorView, TextsAreKeptByteForByte) {
  MemoryMonitorView view;
  const std::string text = std::string(" 10.0.0.1, \"x\"\t\\\xC3\xA9\0z ", 17);
  view.setAddressText(0, text);
  view.setIntervalText(text);
  EXPECT_EQ(view.addressText(0), text);
  EXPECT_EQ(view.intervalText(), text);
}

TEST(MemoryMonitorView, BoxValuesOutsideZeroToTwoAreRefusedAndLeaveTheValue) {
  MemoryMonitorView view;
  view.setEnableValue(2, 1);
  view.setOnTopValue(1);
  for (const std::int16_t bad :
       {std::int16_t{-1}, std::int16_t{3}, std::int16_t{-32768}, std::int16_t{32767}}) {
    EXPECT_THROW(view.setEnableValue(2, bad), InvalidBoxValue) << bad;
    EXPECT_THROW(view.setOnTopValue(bad), InvalidBoxValue) << bad;
  }
  EXPECT_EQ(view.enableValue(2), 1);
  EXPECT_EQ(view.onTopValue(), 1);
  for (const std::int16_t good : {std::int16_t{0}, std::int16_t{1}, std::int16_t{2}}) {
    view.setEnableValue(2, good);
    view.setOnTopValue(good);
    EXPECT_EQ(view.enableValue(2), good);
    EXPECT_EQ(view.onTopValue(), good);
  }
}

TEST(MemoryMonitorView, SlotIndicesOutsideZeroToNineAreRefused) {
  MemoryMonitorView view;
  for (const int bad : {-1, 10, 1000}) {
    EXPECT_THROW(view.addressText(bad), InvalidSlotIndex) << bad;
    EXPECT_THROW(view.setAddressText(bad, "x"), InvalidSlotIndex) << bad;
    EXPECT_THROW(view.enableValue(bad), InvalidSlotIndex) << bad;
    EXPECT_THROW(view.setEnableValue(bad, 1), InvalidSlotIndex) << bad;
    EXPECT_THROW(view.lampColor(bad), InvalidSlotIndex) << bad;
    EXPECT_THROW(view.setLampColor(bad, LampColor::Red), InvalidSlotIndex) << bad;
    EXPECT_THROW(view.setProbeReport(bad, ProbeReport{}), InvalidSlotIndex) << bad;
  }
}

}  // namespace
}  // namespace orlo
