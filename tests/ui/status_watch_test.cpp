// The status icon and the notifications: the summary, the changes between sweeps, the icon's
// picture, and the options of the context menu over Form1 with controls held in memory.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui/recording_skin.h"
#include "ui/status_watch.h"

namespace orlo {
namespace {

using testing_support::InMemoryWindow;
using Calls = std::vector<std::string>;

// A sweep over the first slots: "" not watched, "+" answered, "-" silent, with addresses 10.0.0.N.
SweepRecord sweepOf(const std::vector<std::string>& slots,
                    const std::string& addressPrefix = "10.0.0.") {
  SweepRecord record;
  for (std::size_t slot = 0; slot < slots.size(); ++slot) {
    record[slot] = SlotSweep{addressPrefix + std::to_string(slot + 1), !slots[slot].empty(),
                             slots[slot] == "+"};
  }
  return record;
}

TEST(StatusSummaryTest, OneSymbolAndTheHostsThatDoNotAnswer) {
  const struct {
    std::vector<std::string> sweep;
    StatusState state;
    const char* hover;
  } cases[] = {
      {{"", ""}, StatusState::NothingWatched, "no host is watched"},
      {{"+", "", "+"}, StatusState::AllAnswer, "2 of 2 watched hosts answer"},
      {{"-"}, StatusState::SomeSilent, "0 of 1 watched host answers; no reply: 10.0.0.1 (host 1)"},
      {{"+", "-", "+", "+", "", "", "", "", "+", "-"},
       StatusState::SomeSilent,
       "4 of 6 watched hosts answer; no reply: 10.0.0.2 (host 2), 10.0.0.10 (host 10)"},
  };
  for (const auto& each : cases) {
    const StatusIcon icon = statusOf(sweepOf(each.sweep));
    EXPECT_EQ(icon.state, each.state) << each.hover;
    EXPECT_EQ(icon.hoverText, std::string("Orlo - IP Monitor: ") + each.hover);
  }
}

TEST(HostChangesTest, OnlyWatchedHostsThatKeptTheirAddressChangeAndAllGoInOneText) {
  const struct {
    std::vector<std::string> before;
    std::vector<std::string> after;
    std::string afterPrefix;
    const char* text;  // nullptr: no notification
  } cases[] = {
      {{"+", "-"},
       {"-", "+"},
       "10.0.0.",
       "10.0.0.1 (host 1) stopped answering.\n10.0.0.2 (host 2) answers again."},
      {{"+", "-"}, {"+", "-"}, "10.0.0.", nullptr},
      {{"+", "-"}, {"", ""}, "10.0.0.", nullptr},
      {{"", ""}, {"-", "+"}, "10.0.0.", nullptr},
      {{"+"}, {"-"}, "10.1.0.", nullptr},
  };
  for (const auto& each : cases) {
    const auto changes =
        changesBetween(sweepOf(each.before), sweepOf(each.after, each.afterPrefix));
    EXPECT_EQ(changes.value_or("<none>"), each.text == nullptr ? "<none>" : each.text);
  }
}

TEST(StatusIconImageTest, EachStateHasItsShapeAndColour) {
  constexpr int kSize = 32;
  const auto at = [](const std::vector<std::uint32_t>& image, int x, int y) {
    return image[static_cast<std::size_t>(y) * kSize + x];
  };
  const struct {
    StatusState state;
    std::uint32_t centre;
    std::uint32_t upper;  // half way between the centre and the top
  } cases[] = {
      {StatusState::AllAnswer, 0xFF00FF00, 0xFF00FF00},
      {StatusState::SomeSilent, 0xFFFFFFFF, 0xFFFF0000},
      {StatusState::NothingWatched, 0x00000000, 0x00000000},
  };
  for (const auto& each : cases) {
    const std::vector<std::uint32_t> image = statusIconImage(each.state, kSize);
    ASSERT_EQ(image.size(), std::size_t{kSize * kSize});
    EXPECT_EQ(at(image, kSize / 2, kSize / 2), each.centre);
    EXPECT_EQ(at(image, kSize / 2, kSize / 4), each.upper);
    EXPECT_EQ(at(image, 0, 0) >> 24, 0u) << "a corner is transparent";
  }
  // The ring of the neutral state, near the edge.
  EXPECT_EQ(at(statusIconImage(StatusState::NothingWatched, kSize), kSize / 2, 2), 0xFF808080);
}

class StatusWatchTest : public testing::Test, protected InMemoryWindow {
 protected:
  // Slot 0 watches 10.0.0.1, which answers as told.
  void sweep(bool answers) {
    echo.statusOf["10.0.0.1"] = answers ? ip_status::kSuccess : ip_status::kTimedOut;
    form.handlers().doping();
  }
};

TEST_F(StatusWatchTest, OptionsAreOffAndUnwrittenUntilChosenAndKeptWhenStored) {
  store.setMonitorValues({{"notify", "yes"}});
  ASSERT_TRUE(form.handlers().load());
  const std::vector<WatchMenuItem> menu = form.contextMenu();
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[0].text, "Show status in the notification area");
  EXPECT_EQ(menu[1].text, "Notify when a host stops or starts answering");
  EXPECT_FALSE(menu[0].checked || menu[1].checked);
  form.handlers().unload();
  EXPECT_EQ(store.monitorValue("tray"), "<absent>");
  EXPECT_EQ(store.monitorValue("notify"), "0");

  form.toggle(WatchOption::StatusIcon);
  form.toggle(WatchOption::Notifications);
  form.handlers().unload();
  EXPECT_EQ(store.monitorValue("tray"), "1");
  EXPECT_EQ(store.monitorValue("notify"), "1");

  skin.notificationArea = false;
  EXPECT_EQ(form.contextMenu()[0].text,
            "Show status in the notification area (this desktop has none)");
  EXPECT_FALSE(form.contextMenu()[0].enabled);
}

TEST_F(StatusWatchTest, TheIconFollowsEverySweepAndNotificationsStartAfterTheTwoAtStartUp) {
  store.setMonitorValues({{"tray", "1"}, {"notify", "1"}, {"ip0", "10.0.0.1"}, {"ipen0", "1"}});
  echo.statusOf["10.0.0.1"] = ip_status::kTimedOut;
  ASSERT_TRUE(form.handlers().load());  // the first sweep: silent
  sweep(true);                          // the second: no notification yet
  skin.calls.clear();
  sweep(false);
  sweep(false);
  // An edited address is another host: no event.
  form.setAddressText(0, "10.0.0.9");
  echo.statusOf["10.0.0.9"] = ip_status::kSuccess;
  form.handlers().doping();
  const std::string silent = "icon red: Orlo - IP Monitor: 0 of 1 watched host answers; no reply: ";
  EXPECT_EQ(skin.calls, (Calls{"Orlo - IP Monitor: 10.0.0.1 (host 1) stopped answering.",
                               silent + "10.0.0.1 (host 1)", silent + "10.0.0.1 (host 1)",
                               "icon green: Orlo - IP Monitor: 1 of 1 watched host answers"}));

  form.toggle(WatchOption::StatusIcon);
  EXPECT_EQ(skin.calls.back(), "no icon");
}

}  // namespace
}  // namespace orlo
