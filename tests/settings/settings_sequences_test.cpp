#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/memory_monitor_view.h"
#include "settings/message_text.h"
#include "settings/settings_sequences.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/table_cases.h"

namespace orlo {
namespace {

using testing_support::caseName;
using testing_support::MemorySettingsStore;
using testing_support::PrintTo;
using Address = MemorySettingsStore::Address;
using SavedValue = MemorySettingsStore::SavedValue;

Address monitorKey(const std::string& key) {
  return {kSettingsApplication, kSettingsSection, key};
}

// Everything the settings touch in a view, for whole-state comparisons.
struct ViewState {
  std::array<std::string, kSlotCount> addresses;
  std::array<std::int16_t, kSlotCount> enables{};
  std::string interval;
  std::int16_t onTop = 0;
  friend bool operator==(const ViewState&, const ViewState&) = default;
};

ViewState stateOf(const MonitorView& view) {
  ViewState state;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    state.addresses[slot] = view.addressText(slot);
    state.enables[slot] = view.enableValue(slot);
  }
  state.interval = view.intervalText();
  state.onTop = view.onTopValue();
  return state;
}

void PrintTo(const ViewState& state, std::ostream* out) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    *out << "[" << state.addresses[slot] << "|" << state.enables[slot] << "]";
  }
  *out << " interval \"" << state.interval << "\" ontop " << state.onTop;
}

// What a first run shows: nothing stored.
ViewState firstRunState() {
  ViewState state;
  state.interval = "5";
  state.onTop = 1;
  return state;
}

struct LoadCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> stored;
  std::function<void(ViewState&)> change;  // from the first-run state
};

class LoadFromStore : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadFromStore, SetsTheViewFromTheStoredTexts) {
  MemorySettingsStore store;
  for (const auto& [key, value] : GetParam().stored) {
    store.setStored(monitorKey(key), value);
  }
  MemoryMonitorView view;
  loadSettings(view, store);

  ViewState expected = firstRunState();
  GetParam().change(expected);
  EXPECT_EQ(stateOf(view), expected);
}

const auto kNoChange = [](ViewState&) {};

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadFromStore,
    testing::Values(
        LoadCase{"EmptyStoreGivesTheFirstRunState", {}, kNoChange},
        LoadCase{"Ipen4OfExactlyOneTicksSlot4",
                 {{"ipen4", "1"}},
                 [](ViewState& s) { s.enables[4] = 1; }},
        LoadCase{"Ipen4Of01LeavesItUnticked", {{"ipen4", "01"}}, kNoChange},
        LoadCase{"Ipen4OfTrueLeavesItUnticked", {{"ipen4", "true"}}, kNoChange},
        LoadCase{"Ipen4OfSpaceOneLeavesItUnticked", {{"ipen4", " 1"}}, kNoChange},
        LoadCase{"Ipen4OfOneSpaceLeavesItUnticked", {{"ipen4", "1 "}}, kNoChange},
        LoadCase{"Ipen4OfTwoLeavesItUnticked", {{"ipen4", "2"}}, kNoChange},
        LoadCase{"RefreshAbcIsShownAsTyped",
                 {{"refresh", "abc"}},
                 [](ViewState& s) { s.interval = "abc"; }},
        LoadCase{
            "EmptyRefreshStaysEmpty", {{"refresh", ""}}, [](ViewState& s) { s.interval = ""; }},
        LoadCase{"OnTop0", {{"ontop", "0"}}, [](ViewState& s) { s.onTop = 0; }},
        LoadCase{"OnTop2IsGreyed", {{"ontop", "2"}}, [](ViewState& s) { s.onTop = 2; }},
        LoadCase{
            "OnTop2Point5RoundsToEven2", {{"ontop", "2.5"}}, [](ViewState& s) { s.onTop = 2; }},
        LoadCase{
            "OnTop1Point5RoundsToEven2", {{"ontop", "1.5"}}, [](ViewState& s) { s.onTop = 2; }},
        LoadCase{"OnTopWithBlanksConverts", {{"ontop", " 0 "}}, [](ViewState& s) { s.onTop = 0; }},
        LoadCase{"EachSlotReadsItsOwnKeys",
                 {{"ip0", "a0"},
                  {"ip1", "a1"},
                  {"ip2", "a2"},
                  {"ip3", "a3"},
                  {"ip4", "a4"},
                  {"ip5", "a5"},
                  {"ip6", "a6"},
                  {"ip7", "a7"},
                  {"ip8", "a8"},
                  {"ip9", "a9"},
                  {"ipen2", "1"},
                  {"ipen9", "1"}},
                 [](ViewState& s) {
                   for (int slot = 0; slot < kSlotCount; ++slot) {
                     s.addresses[slot] = "a" + std::to_string(slot);
                   }
                   s.enables[2] = 1;
                   s.enables[9] = 1;
                 }}),
    caseName);

TEST(LoadFromStore, ReadsOnlyItsOwnApplicationAndSection) {
  MemorySettingsStore store;
  store.setStored({kSettingsApplication, "Other", "ip0"}, "other section");
  store.setStored({"Other", kSettingsSection, "ip0"}, "other application");
  store.setStored({kSettingsApplication, kSettingsSection, "IP0"}, "other case");
  MemoryMonitorView view;
  loadSettings(view, store);
  EXPECT_EQ(stateOf(view), firstRunState());
}

TEST(LoadFromStore, ReadsTheKeysInOrderAndWritesNothing) {
  MemorySettingsStore store;
  MemoryMonitorView view;
  loadSettings(view, store);

  std::vector<Address> expected;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    expected.push_back(monitorKey("ip" + std::to_string(slot)));
    expected.push_back(monitorKey("ipen" + std::to_string(slot)));
  }
  expected.push_back(monitorKey("refresh"));
  expected.push_back(monitorKey("ontop"));
  EXPECT_EQ(store.gets(), expected);
  EXPECT_TRUE(store.saves().empty());
  EXPECT_EQ(store.commitCount(), 0u);
}

struct BadOnTopCase {
  const char* name;
  std::string stored;
  const char* problem;
};

class LoadBadOnTop : public testing::TestWithParam<BadOnTopCase> {};

TEST_P(LoadBadOnTop, FailsNamingTheStoreTheKeyAndTheValue) {
  MemorySettingsStore store;
  store.setStored(monitorKey("ip0"), "10.0.0.1");
  store.setStored(monitorKey("ontop"), GetParam().stored);
  MemoryMonitorView view;
  try {
    loadSettings(view, store);
    FAIL() << "loaded an unusable on-top value";
  } catch (const SettingsError& failure) {
    const std::string message = failure.what();
    EXPECT_NE(message.find("\"ontop\""), std::string::npos) << message;
    EXPECT_NE(message.find(store.location(kSettingsSection)), std::string::npos) << message;
    EXPECT_NE(message.find(quotedForMessage(GetParam().stored)), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().problem), std::string::npos) << message;
  }
  // The failure comes last: the slots were read, and the on-top value is left alone.
  EXPECT_EQ(view.addressText(0), "10.0.0.1");
  EXPECT_EQ(view.onTopValue(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadBadOnTop,
    testing::Values(BadOnTopCase{"Three", "3", "is not 0, 1 or 2"},
                    BadOnTopCase{"MinusOne", "-1", "is not 0, 1 or 2"},
                    BadOnTopCase{"TwoPoint6RoundsToThree", "2.6", "is not 0, 1 or 2"},
                    BadOnTopCase{"OutOfSixteenBits", "40000",
                                 "is not a number from -32768 to 32767"},
                    BadOnTopCase{"Letters", "abc", "is not a number from -32768 to 32767"},
                    BadOnTopCase{"Empty", "", "is not a number from -32768 to 32767"},
                    BadOnTopCase{"Exponent", "1e0", "is not a number from -32768 to 32767"}),
    caseName);

TEST(LoadFromStore, AFailingReadStopsTheSequenceThere) {
  MemorySettingsStore store;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    store.setStored(monitorKey("ip" + std::to_string(slot)), "host" + std::to_string(slot));
    store.setStored(monitorKey("ipen" + std::to_string(slot)), "1");
  }
  store.failGetsOf("ipen3");
  MemoryMonitorView view;
  EXPECT_THROW(loadSettings(view, store), SettingsError);

  ASSERT_FALSE(store.gets().empty());
  EXPECT_EQ(store.gets().back(), monitorKey("ipen3"));
  EXPECT_EQ(store.gets().size(), 8u);
  EXPECT_EQ(view.addressText(3), "host3");
  EXPECT_EQ(view.enableValue(2), 1);
  EXPECT_EQ(view.enableValue(3), 0);
  EXPECT_EQ(view.addressText(4), "");
}

// A view holding a different value in every field the settings save.
MemoryMonitorView distinctView() {
  MemoryMonitorView view;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    view.setAddressText(slot, "10.0.0." + std::to_string(slot + 1));
    view.setEnableValue(slot, static_cast<std::int16_t>(slot % 3));
  }
  view.setAddressText(7, "");
  view.setIntervalText("not a number");
  view.setOnTopValue(2);
  return view;
}

TEST(SaveToStore, WritesTheTwentyTwoKeysInOrderThenCommitsOnce) {
  const MemoryMonitorView view = distinctView();
  MemorySettingsStore store;
  saveSettings(view, store);

  std::vector<SavedValue> expected;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    expected.push_back({monitorKey("ip" + std::to_string(slot)), view.addressText(slot)});
    expected.push_back({monitorKey("ipen" + std::to_string(slot)), std::to_string(slot % 3)});
  }
  expected.push_back({monitorKey("refresh"), "not a number"});
  expected.push_back({monitorKey("ontop"), "2"});
  EXPECT_EQ(store.saves(), expected);
  EXPECT_EQ(store.commitCount(), 1u);
  EXPECT_EQ(store.storedCount(), 22u);
  EXPECT_EQ(store.stored(monitorKey("ip7")), "");
  EXPECT_EQ(store.stored(monitorKey("ipen7")), "1");
}

TEST(SaveToStore, AnEmptyUntickedSlotIsSavedAsEmptyAndZero) {
  const MemoryMonitorView view;
  MemorySettingsStore store;
  saveSettings(view, store);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(store.stored(monitorKey("ip" + std::to_string(slot))), "");
    EXPECT_EQ(store.stored(monitorKey("ipen" + std::to_string(slot))), "0");
  }
  EXPECT_EQ(store.stored(monitorKey("refresh")), "");
  EXPECT_EQ(store.stored(monitorKey("ontop")), "0");
}

TEST(SaveToStore, AFailedCommitLeavesEveryStoredValueAsItWas) {
  MemorySettingsStore store;
  store.setStored(monitorKey("ip0"), "before");
  store.failCommits();
  EXPECT_THROW(saveSettings(distinctView(), store), SettingsError);
  EXPECT_EQ(store.saves().size(), 22u);
  EXPECT_EQ(store.storedCount(), 1u);
  EXPECT_EQ(store.stored(monitorKey("ip0")), "before");
}

TEST(SaveToStore, WhatIsSavedLoadsBackUnchanged) {
  const MemoryMonitorView saved = distinctView();
  MemorySettingsStore store;
  saveSettings(saved, store);
  MemoryMonitorView loaded;
  loadSettings(loaded, store);

  ViewState expected = stateOf(saved);
  // Only a stored "1" ticks a box: a greyed box (2) comes back unticked.
  for (auto& enable : expected.enables) {
    enable = enable == 1 ? 1 : 0;
  }
  EXPECT_EQ(stateOf(loaded), expected);
}

struct QuoteCase {
  std::string text;
  std::string shown;
};

void PrintTo(const QuoteCase& c, std::ostream* out) {
  *out << c.shown;
}

class MessageQuote : public testing::TestWithParam<QuoteCase> {};

TEST_P(MessageQuote, ShowsControlCharactersAndCutsLongTexts) {
  EXPECT_EQ(quotedForMessage(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageQuote,
    testing::Values(QuoteCase{"3", "\"3\""}, QuoteCase{"", "\"\""},
                    QuoteCase{"a\nb\tc\r\x01\x7f", "\"a\\nb\\tc\\r\\x01\\x7F\""},
                    QuoteCase{std::string(81, 'x'),
                              "\"" + std::string(80, 'x') + "...\" (81 bytes in all)"},
                    // The cut never splits a character: the two-byte "é" at 80..81 goes whole.
                    QuoteCase{std::string(79, 'x') + "\xC3\xA9",
                              "\"" + std::string(79, 'x') + "...\" (81 bytes in all)"}));

}  // namespace
}  // namespace orlo
