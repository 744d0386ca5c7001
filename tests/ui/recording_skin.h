#pragma once

#include <algorithm>
#include <array>
#include <ctime>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/memory_settings_store.h"
#include "tests/support/scripted_echo.h"
#include "ui/form1.h"

namespace orlo::testing_support {

// A window whose controls are plain values and whose window calls are logged, doing what a
// window does on each: closing runs the unload handler, as a real close does. A text box holds
// its text up to the first NUL, as the system's edit controls do. The call named by `failing`
// throws instead, as a toolkit that fails would.
class RecordingSkin final : public Form1Skin {
 public:
  using Calls = std::vector<std::string>;
  static constexpr std::size_t kControls = 6 + 3 * kSlotCount;

  Form1Handlers* handlers = nullptr;
  int height = 55;
  int tallest = std::numeric_limits<int>::max();  // where the screen cuts a window short
  int dpi = 96;
  std::function<void()> duringEventLoop;
  std::string failing;
  Calls calls;
  std::vector<MessageBoxContent> messages;
  std::array<int, kSlotCount> announced{};  // how often each lamp's new words were announced
  bool notificationArea = true;
  StatusTextLimits limits{1000, 1000, 1000};

  // What the user types or clicks, past the window's behaviour.
  void type(Control box, int slot, const std::string& text) {
    texts_[controlIndex(box, slot)] = text;
  }

  std::string text(Control box, int slot) const override { return texts_[controlIndex(box, slot)]; }
  void setText(Control box, int slot, const std::string& text) override {
    texts_[controlIndex(box, slot)] = text.substr(0, text.find('\0'));
  }
  std::int16_t boxValue(Control box, int slot) const override {
    return boxes_[controlIndex(box, slot)];
  }
  void setBoxValue(Control box, int slot, std::int16_t value) override {
    boxes_[controlIndex(box, slot)] = value;
  }
  LampColor lampColor(int slot) const override { return colors_[slot]; }
  void setLampColor(int slot, LampColor color) override { colors_[slot] = color; }
  std::string lampReport(int slot) const override { return reports_[slot]; }
  void setLampReport(int slot, const std::string& text, bool announce) override {
    reports_[slot] = text;
    announced[slot] += announce ? 1 : 0;
  }

  bool hasNotificationArea() const override { return notificationArea; }
  StatusTextLimits textLimits() const override { return limits; }
  void showStatusIcon(const StatusIcon& icon) override {
    log("icon " +
        std::string(icon.state == StatusState::AllAnswer    ? "green"
                    : icon.state == StatusState::SomeSilent ? "red"
                                                            : "neutral") +
        ": " + icon.hoverText);
  }
  void hideStatusIcon() override { log("no icon"); }
  void notify(const std::string& title, const std::string& text, StatusState /*state*/) override {
    log(title + ": " + text);
  }

  int clientHeight() const override { return height; }
  int verticalDpi() const override { return dpi; }
  void setClientHeight(int pixels) override {
    log("resize");
    height = std::min(pixels, tallest);
  }
  void keepAbove(bool above) override { log(above ? "above" : "normal stacking"); }
  void showMessage(const MessageBoxContent& content, MessagePlacement placement) override {
    log((placement == MessagePlacement::Alone ? "alone: " : "over: ") + content.title);
    messages.push_back(content);
  }
  void stopTimer() override { log("stop timer"); }
  void showWindow() override { log("show"); }
  void closeWindow() override {
    log("close");
    handlers->unload();
  }
  int runEventLoop() override {
    log("event loop");
    if (duringEventLoop) {
      duringEventLoop();
    }
    return 0;
  }
  void endEventLoop(int status) override { log("end " + std::to_string(status)); }

 private:
  void log(const std::string& call) {
    if (call == failing) {
      throw std::runtime_error(call + " failed today");
    }
    calls.push_back(call);
  }

  std::array<std::string, kControls> texts_{};
  std::array<std::int16_t, kControls> boxes_{};
  std::array<LampColor, kSlotCount> colors_{};
  std::array<std::string, kSlotCount> reports_{};
};

// The entry that starts the program at login, held in memory. Changing it fails where it starts
// another program, or where told to.
struct MemoryLoginStart final : LoginStart {
  State held = State::Absent;
  bool failing = false;

  State state() const override { return held; }
  void add() override { change(State::ThisProgram); }
  void remove() override { change(State::Absent); }
  void change(State to) {
    if (failing || held == State::Other) {
      throw LoginStartError("the entry was left as it is");
    }
    held = to;
  }
};

// Form1 over a RecordingSkin, an in-memory settings store, a scripted echo service and an
// in-memory entry for starting at login.
struct InMemoryWindow {
  InMemoryWindow() { skin.handlers = &form.handlers(); }
  InMemoryWindow(const InMemoryWindow&) = delete;
  InMemoryWindow& operator=(const InMemoryWindow&) = delete;

  MemorySettingsStore store;
  ScriptedEcho echo;
  RecordingSkin skin;
  MemoryLoginStart loginStart;
  std::vector<std::string> errorLines;
  std::tm now = at(14, 5);
  Form1 form{skin,
             {store, echo, "/usr/bin/orlo-monitor",
              [this](const std::string& line) { errorLines.push_back(line); },
              [this] { return now; }, &loginStart}};

  // 7 December 2026 at this time.
  static std::tm at(int hour, int minute, int yearDay = 340) {
    std::tm time{};
    time.tm_year = 126;
    time.tm_yday = yearDay;
    time.tm_mon = 11;
    time.tm_mday = yearDay - 333;
    time.tm_hour = hour;
    time.tm_min = minute;
    return time;
  }

  std::string messageText(std::size_t index) const {
    return index < skin.messages.size() ? skin.messages[index].text("\n") : "<no message>";
  }
};

}  // namespace orlo::testing_support
