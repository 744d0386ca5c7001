// What the window does on each event, with every toolkit: the handlers of a window whose controls
// are in memory and whose window calls are recorded, a scripted echo service and the in-memory
// settings store.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/ui/recording_skin.h"
#include "ui/form1_handlers.h"

namespace orlo {
namespace {

using testing_support::InMemoryWindow;
using testing_support::MemorySettingsStore;
using testing_support::RecordingSkin;
using Calls = std::vector<std::string>;

class Form1HandlersTest : public testing::Test, protected InMemoryWindow {
 protected:
  Form1& view = form;
  RecordingSkin& shell = skin;
  Form1Handlers& handlers = form.handlers();
};

TEST_F(Form1HandlersTest, RunLoadsSweepsShowsAndOnCloseStopsTheTimerAndSaves) {
  store.setMonitorValues({{"ip0", "127.0.0.1"}, {"ipen0", "1"}, {"ip1", "abc"}, {"ipen1", "1"}});
  echo.statusOf["127.0.0.1"] = ip_status::kSuccess;
  echo.statusOf["abc"] = ip_status::kUnusable;
  echo.onStartSockets = [&] { shell.calls.push_back("sweep over " + view.addressText(0)); };
  shell.duringEventLoop = [&] {
    EXPECT_EQ(view.lampColor(0), LampColor::Green);
    EXPECT_EQ(view.lampColor(1), LampColor::Red);
    view.setAddressText(3, "127.0.0.9");
    shell.closeWindow();
  };

  EXPECT_EQ(handlers.run(), 0);
  EXPECT_EQ(shell.calls,
            (Calls{"above", "sweep over 127.0.0.1", "show", "event loop", "close", "stop timer"}));
  EXPECT_EQ(store.monitorValue("ip3"), "127.0.0.9");
  EXPECT_EQ(store.monitorValue("refresh"), "5");
  EXPECT_EQ(store.commitCount(), 1u);
  EXPECT_TRUE(shell.messages.empty());
}

TEST_F(Form1HandlersTest, AFailedLoadIsReportedAloneNeverShowsTheWindowAndEndsWithStatusOne) {
  const struct {
    const char* name;
    std::function<void(MemorySettingsStore&)> breakStore;
    std::vector<std::string> words;
  } cases[] = {
      {"ontop 3",
       [](auto& target) {
         target.setMonitorValues({{"ontop", "3"}});
       },
       {"ontop", "3"}},
      {"unreadable ip4", [](auto& target) { target.failGetsOf("ip4"); }, {"ip4"}},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    InMemoryWindow fresh;
    each.breakStore(fresh.store);

    EXPECT_EQ(fresh.form.handlers().run(), kFailureExitStatus);
    EXPECT_TRUE(fresh.form.handlers().failed());
    EXPECT_EQ(fresh.skin.calls, (Calls{"stop timer", "alone: Orlo - IP Monitor", "end 1"}));
    EXPECT_EQ(fresh.echo.sweeps, 0);
    // However the window closes then, the stored values stay as they were.
    fresh.skin.closeWindow();
    EXPECT_TRUE(fresh.store.saves().empty());
    ASSERT_EQ(fresh.skin.messages.size(), 1u);
    const MessageBoxContent& report = fresh.skin.messages[0];
    EXPECT_EQ(report.icon, MessageIcon::Failure);
    EXPECT_EQ(report.lines.at(0), "Orlo - IP Monitor could not load its settings and ends now.");
    for (const std::string& words : each.words) {
      EXPECT_NE(fresh.messageText(0).find(words), std::string::npos) << fresh.messageText(0);
    }
  }
}

TEST_F(Form1HandlersTest, AFailedSaveIsReportedOverTheWindowAndEndsWithStatusOne) {
  store.setMonitorValues({{"ip0", "kept"}});
  shell.duringEventLoop = [&] {
    view.setAddressText(0, "lost");
    store.failCommits();
    shell.closeWindow();
  };
  EXPECT_EQ(handlers.run(), kFailureExitStatus);
  EXPECT_EQ(shell.calls, (Calls{"above", "show", "event loop", "close", "stop timer", "stop timer",
                                "over: Orlo - IP Monitor", "end 1"}));
  EXPECT_NE(messageText(0).find("could not save its settings"), std::string::npos);
  EXPECT_EQ(store.monitorValue("ip0"), "kept");
}

TEST_F(Form1HandlersTest, Command1CollapsesOnlyWhatTheExpandLeftAndExpandsAnyOtherHeight) {
  const struct {
    int dpi;
    int tallest;  // what the screen allows
    std::vector<int> heightsAfterClicks;
  } cases[] = {
      {96, 1000, {343, 56, 343, 56}},
      {144, 1000, {515, 84, 515}},
      // A screen too small for the expanded view cuts it short every time.
      {240, 732, {732, 140, 732, 140}},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(std::to_string(each.dpi) + " dpi");
    InMemoryWindow fresh;
    fresh.skin.dpi = each.dpi;
    fresh.skin.tallest = each.tallest;
    std::vector<int> heights;
    for (std::size_t click = 0; click < each.heightsAfterClicks.size(); ++click) {
      fresh.form.handlers().command1Click();
      heights.push_back(fresh.skin.height);
    }
    EXPECT_EQ(heights, each.heightsAfterClicks);
  }
  // Any other height expands: the one at creation, and those near the expanded one.
  for (const int height : {55, 200, 342, 344}) {
    shell.height = height;
    handlers.command1Click();
    EXPECT_EQ(shell.height, 343) << height;
  }
  EXPECT_TRUE(shell.messages.empty());
}

TEST_F(Form1HandlersTest, EndingWithoutTheUserWritesAFailedSaveAsOneLineInsteadOfABox) {
  shell.duringEventLoop = [&] {
    store.failCommits();
    handlers.endUnattended();
    shell.closeWindow();
  };
  EXPECT_EQ(handlers.run(), kFailureExitStatus);
  EXPECT_TRUE(shell.messages.empty());
  EXPECT_EQ(shell.calls.back(), "end 1");
  ASSERT_EQ(errorLines.size(), 1u);
  const std::string& line = errorLines[0];
  EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  EXPECT_NE(line.find("could not save its settings"), std::string::npos) << line;
  EXPECT_NE(line.find("in-memory settings store"), std::string::npos) << line;
}

TEST_F(Form1HandlersTest, AboutBoxHasItsTitleSevenLinesAndNoIcon) {
  handlers.command2Click();
  EXPECT_EQ(shell.calls, (Calls{"over: Orlo - Monitor"}));
  const MessageBoxContent& about = shell.messages.at(0);
  EXPECT_EQ(about.icon, MessageIcon::None);
  ASSERT_EQ(about.lines.size(), 7u);
  EXPECT_EQ(about.lines[0], "Orlo - IP Monitor v1.00");
  EXPECT_TRUE(about.lines[1].empty());
  EXPECT_FALSE(about.lines[2].empty());
  EXPECT_FALSE(about.lines[3].empty());
  EXPECT_TRUE(about.lines[4].empty());
  EXPECT_FALSE(about.lines[5].empty());
  EXPECT_EQ(about.lines[6].rfind("https://", 0), 0u) << about.lines[6];
  EXPECT_EQ(about.text("\r\n").rfind("Orlo - IP Monitor v1.00\r\n\r\n", 0), 0u);
  EXPECT_FALSE(handlers.failed());
}

TEST_F(Form1HandlersTest, ACommandThatFailsIsReportedAndClosesTheWindowWhichSaves) {
  const struct {
    const char* what;
    const char* failing;
    void (Form1Handlers::*command)();
  } cases[] = {
      {"could not change the window's height", "resize", &Form1Handlers::command1Click},
      {"could not show the about box", "over: Orlo - Monitor", &Form1Handlers::command2Click},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.what);
    InMemoryWindow fresh;
    fresh.skin.failing = each.failing;
    fresh.form.setAddressText(5, "kept");

    (fresh.form.handlers().*each.command)();

    EXPECT_TRUE(fresh.form.handlers().failed());
    EXPECT_EQ(fresh.skin.calls,
              (Calls{"stop timer", "over: Orlo - IP Monitor", "end 1", "close", "stop timer"}));
    const std::string text = fresh.messageText(0);
    EXPECT_NE(text.find(each.what), std::string::npos) << text;
    EXPECT_NE(text.find("failed today"), std::string::npos) << text;
    EXPECT_EQ(fresh.store.monitorValue("ip5"), "kept");
  }
}

TEST_F(Form1HandlersTest, TheFirstTickSweepsAndTheIntervalThenHoldsTheNext) {
  handlers.timer1Tick();
  EXPECT_EQ(echo.sweeps, 1);
  EXPECT_EQ(view.intervalText(), "5");
  handlers.timer1Tick();
  EXPECT_EQ(echo.sweeps, 1);
}

}  // namespace
}  // namespace orlo
