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

// An address as the texts set it apart for bidirectional text.
std::string isolated(const std::string& address) {
  return "\u2068" + address + "\u2069";
}

TEST(StatusSummaryTest, OneSymbolAndTheHostsThatDoNotAnswerWithinTheLimit) {
  const std::string host1 = isolated("10.0.0.1") + " (host 1)";
  const std::string host2 = isolated("10.0.0.2") + " (host 2)";
  const struct {
    std::vector<std::string> sweep;
    std::size_t limit;
    StatusState state;
    std::string hover;
  } cases[] = {
      {{"", ""}, 1000, StatusState::NothingWatched, "no host is watched"},
      {{"+", "", "+"}, 1000, StatusState::AllAnswer, "2 of 2 watched hosts answer"},
      {{"-"}, 1000, StatusState::SomeSilent, "0 of 1 watched host answers; no reply: " + host1},
      {{"+", "-", "+", "+", "", "", "", "", "+", "-"},
       1000,
       StatusState::SomeSilent,
       "4 of 6 watched hosts answer; no reply: " + host2 + ", " + isolated("10.0.0.10") +
           " (host 10)"},
      // Whole hosts only, and how many are left out.
      {{"-", "-", "-"},
       112,
       StatusState::SomeSilent,
       "0 of 3 watched hosts answer; no reply: " + host1 + ", " + host2 + " \u2026 and 1 more"},
      {{"-", "-", "-"},
       100,
       StatusState::SomeSilent,
       "0 of 3 watched hosts answer; no reply: " + host1 + " \u2026 and 2 more"},
  };
  for (const auto& each : cases) {
    const StatusIcon icon = statusOf(sweepOf(each.sweep), each.limit);
    EXPECT_EQ(icon.state, each.state) << each.hover;
    EXPECT_EQ(icon.hoverText, "Orlo - IP Monitor: " + each.hover);
    EXPECT_LE(utf16Length(icon.hoverText), each.limit);
  }
}

TEST(HostChangesTest, OnlyWatchedHostsThatKeptTheirAddressChangeAndAllGoInOneText) {
  const struct {
    std::vector<std::string> before;
    std::vector<std::string> after;
    std::string afterPrefix;
    std::size_t limit;
    std::string text;  // empty: no notification
  } cases[] = {
      {{"+", "-"},
       {"-", "+"},
       "10.0.0.",
       1000,
       isolated("10.0.0.1") + " (host 1) stopped answering.\n" + isolated("10.0.0.2") +
           " (host 2) answers again."},
      {{"+", "-"},
       {"-", "+"},
       "10.0.0.",
       60,
       isolated("10.0.0.1") + " (host 1) stopped answering.\n\u2026 and 1 more"},
      {{"+", "-"}, {"+", "-"}, "10.0.0.", 1000, ""},
      {{"+", "-"}, {"", ""}, "10.0.0.", 1000, ""},
      {{"", ""}, {"-", "+"}, "10.0.0.", 1000, ""},
      {{"+"}, {"-"}, "10.1.0.", 1000, ""},
  };
  for (const auto& each : cases) {
    const auto changes =
        changesBetween(sweepOf(each.before), sweepOf(each.after, each.afterPrefix), each.limit);
    EXPECT_EQ(changes.value_or(""), each.text);
  }
}

TEST(StatusTextTest, TextsAreCutAtWholeCharactersAndEscapedForMarkup) {
  const struct {
    const char* name;
    std::string text;
    std::size_t limit;
    std::string cut;
  } cases[] = {
      {"fits", "abc", 3, "abc"},
      {"too long", "abcd", 3, "ab\u2026"},
      {"nothing fits", "abcd", 0, ""},
      {"a surrogate pair is never halved", "ab\U0001F600c", 4, "ab\u2026"},
      {"a pair that fits whole", "ab\U0001F600cd", 5, "ab\U0001F600\u2026"},
      {"a UTF-8 sequence is never halved", "a\xC3\xA9\xC3\xA9z", 3, "a\xC3\xA9\u2026"},
      {"a byte that is not UTF-8 is one character", "\xFF\xFE\xC3(", 3, "\xFF\xFE\u2026"},
  };
  for (const auto& each : cases) {
    EXPECT_EQ(cutToFit(each.text, each.limit), each.cut) << each.name;
  }
  EXPECT_EQ(utf16Length("a\xC3\xA9\U0001F600\xFF"), 5u);
  EXPECT_EQ(markupEscaped("1 < 2 & <b>\"x\"</b>"), "1 &lt; 2 &amp; &lt;b&gt;\"x\"&lt;/b&gt;");

  // An address too long on its own is cut inside its isolation, and the rest still says how many
  // hosts are left out.
  SweepRecord longAddress = sweepOf({"-", "-"});
  longAddress[0]->address = std::string(10000, '9');
  const std::string hover = statusOf(longAddress, 127).hoverText;
  EXPECT_EQ(utf16Length(hover), 127u) << hover;
  const std::string ending = "\u2026\u2069 (host 1) \u2026 and 1 more";
  ASSERT_GE(hover.size(), ending.size());
  EXPECT_EQ(hover.substr(hover.size() - ending.size()), ending) << hover;
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

TEST_F(StatusWatchTest, OnlyOneIsOnAndAValueNotChosenFromTheMenuIsNeverWritten) {
  const struct {
    const char* stored;  // nullptr: a value the store cannot give, as one of another type
    bool on;
  } cases[] = {{"1", true},      {"true", false}, {"2", false},    {"01", false},
               {"\"1\"", false}, {" 1", false},   {nullptr, false}};
  for (const auto& each : cases) {
    SCOPED_TRACE(each.stored != nullptr ? each.stored : "unreadable");
    InMemoryWindow fresh;
    if (each.stored != nullptr) {
      fresh.store.setMonitorValues({{"tray", each.stored}});
    } else {
      fresh.store.failGetsOf("tray");
    }
    ASSERT_TRUE(fresh.form.handlers().load());
    EXPECT_EQ(fresh.form.contextMenu()[0].checked, each.on);
    fresh.form.handlers().unload();
    EXPECT_EQ(fresh.store.monitorValue("tray"), each.stored != nullptr ? each.stored : "<absent>");
    EXPECT_EQ(fresh.store.monitorValue("notify"), "<absent>");
  }

  ASSERT_TRUE(form.handlers().load());
  const std::vector<WatchMenuItem> menu = form.contextMenu();
  ASSERT_EQ(menu.size(), 3u);
  EXPECT_EQ(menu[0].text, "Show status in the notification area");
  EXPECT_EQ(menu[1].text, "Notify when a host stops or starts answering");
  EXPECT_EQ(menu[2].text, "Start when I log in");
  EXPECT_FALSE(menu[0].checked || menu[1].checked || menu[2].checked);
  form.toggle(WatchOption::StatusIcon);
  form.toggle(WatchOption::Notifications);
  form.toggle(WatchOption::Notifications);
  form.handlers().unload();
  EXPECT_EQ(store.monitorValue("tray"), "1");
  EXPECT_EQ(store.monitorValue("notify"), "0");

  // Without a notification area the option says so, and while it is on it can still be turned
  // off.
  skin.notificationArea = false;
  EXPECT_EQ(form.contextMenu()[0].text,
            "Show status in the notification area (this desktop has none)");
  EXPECT_TRUE(form.contextMenu()[0].enabled);
  form.toggle(WatchOption::StatusIcon);
  EXPECT_FALSE(form.contextMenu()[0].enabled);
}

TEST_F(StatusWatchTest, StartingAtLoginIsWhatTheSystemHoldsAndAFailureIsShownInABox) {
  const struct {
    const char* name;
    LoginStart::State held;
    bool failing;
    bool checked;
    LoginStart::State after;
  } cases[] = {
      {"turned on", LoginStart::State::Absent, false, false, LoginStart::State::ThisProgram},
      {"turned off", LoginStart::State::ThisProgram, false, true, LoginStart::State::Absent},
      {"another program's entry", LoginStart::State::Other, false, false, LoginStart::State::Other},
      {"cannot be written", LoginStart::State::Absent, true, false, LoginStart::State::Absent},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    InMemoryWindow fresh;
    fresh.loginStart.held = each.held;
    fresh.loginStart.failing = each.failing;
    EXPECT_EQ(fresh.form.contextMenu()[2].checked, each.checked);
    fresh.form.toggle(WatchOption::StartAtLogin);
    EXPECT_EQ(fresh.loginStart.held, each.after);
    const bool failed = each.held == LoginStart::State::Other || each.failing;
    ASSERT_EQ(fresh.skin.messages.size(), failed ? 1u : 0u);
    if (failed) {
      EXPECT_EQ(fresh.messageText(0),
                "Orlo - IP Monitor could not change whether it starts when you log in.\n\n"
                "the entry was left as it is");
      EXPECT_FALSE(fresh.form.handlers().failed());
    }
  }
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
  const std::string host1 = isolated("10.0.0.1") + " (host 1)";
  EXPECT_EQ(skin.calls,
            (Calls{"Orlo - IP Monitor: " + host1 + " stopped answering.", silent + host1,
                   silent + host1, "icon green: Orlo - IP Monitor: 1 of 1 watched host answers"}));

  form.toggle(WatchOption::StatusIcon);
  EXPECT_EQ(skin.calls.back(), "no icon");
}

}  // namespace
}  // namespace orlo
