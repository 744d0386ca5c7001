#pragma once

#include <array>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "core/echo_probe.h"
#include "core/monitor_view.h"
#include "settings/login_start.h"
#include "settings/settings_store.h"
#include "ui/form1_handlers.h"
#include "ui/form1_skin.h"
#include "ui/status_watch.h"

namespace orlo {

// The local time of the clock now.
std::tm currentLocalTime();
// Writes the line, and a line break, to the standard error stream.
void writeToStandardError(const std::string& line);

// What the window works with, whatever its toolkit: the settings store it loads from and saves
// to, the echo service its sweeps probe with, the program's file, which the lamps name in their
// advice when this user may not open ICMP sockets, and where a failure goes when the program
// ends without its user.
struct MonitorParts {
  SettingsStore& settings;
  EchoService& echo;
  std::string programPath;
  std::function<void(const std::string& line)> writeError = writeToStandardError;
  // The local time now, for since when each lamp has shown its colour.
  std::function<std::tm()> localNow = currentLocalTime;
  // The entry that starts the program at login; none: the context menu does not offer it.
  LoginStart* loginStart = nullptr;
};

// The monitor window Form1, the same with every toolkit. It implements MonitorView over the
// controls of its skin, the toolkit's window, which hold the monitor's state, and does what each
// of their events asks through its Form1Handlers. The skin makes, draws and wires the controls
// and forwards their events here.
//
// A text set by program reads back exactly as it was given for as long as its control still
// shows it, even where the control cannot hold all of it (a NUL, bytes that are not UTF-8): a
// value nobody edited is saved as it was loaded. Once the user has edited it, it reads as the
// control holds it.
class Form1 final : public MonitorView {
 public:
  // Calls nothing of the skin, which may still be making its controls.
  Form1(Form1Skin& skin, const MonitorParts& parts);

  std::string addressText(int slot) const override;
  void setAddressText(int slot, const std::string& text) override;
  std::int16_t enableValue(int slot) const override;
  void setEnableValue(int slot, std::int16_t value) override;
  LampColor lampColor(int slot) const override;
  void setLampColor(int slot, LampColor color) override;
  std::string intervalText() const override;
  void setIntervalText(const std::string& text) override;
  std::int16_t onTopValue() const override;
  // A different value runs the always-on-top command once, as a click on Check2 does.
  void setOnTopValue(std::int16_t value) override;
  // The lamp's words give the outcome, the round trip time of a reply and since when the lamp
  // has shown its colour; only a new outcome is announced to a screen reader.
  void setProbeReport(int slot, const ProbeReport& report) override;

  Form1Handlers& handlers() { return handlers_; }

  // A click, by mouse or keyboard, on a button or check box. A click checks an unchecked or a
  // greyed box and unchecks a checked one; on Check2 it then runs the always-on-top command.
  void clicked(Control control, int slot);

  // The context menu of the window and of its status icon, and a choice from it.
  std::vector<WatchMenuItem> contextMenu() const { return handlers_.contextMenu(); }
  void toggle(WatchOption option) { handlers_.menuChosen(option); }

 private:
  // What the program last set into a text box, and what the box showed right after.
  struct SetText {
    std::string given;
    std::string shown;
  };

  std::string boxText(Control box, int slot, const SetText& set) const;
  void setBoxText(Control box, int slot, SetText& set, const std::string& text);

  // What a lamp showed since when.
  struct LampHistory {
    std::string outcome;
    LampColor color = LampColor::Black;
    std::tm since{};
  };

  Form1Skin& skin_;
  const std::string programPath_;
  const std::function<std::tm()> localNow_;
  std::array<SetText, kSlotCount> text1_{};
  SetText tijd_;
  std::array<LampHistory, kSlotCount> lamps_{};
  Form1Handlers handlers_;
};

}  // namespace orlo
