#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/echo_probe.h"
#include "core/monitor_view.h"
#include "core/refresh_schedule.h"
#include "settings/login_start.h"
#include "settings/settings_store.h"
#include "ui/status_watch.h"
#include "ui/window_shell.h"

namespace orlo {

// The program's status after a failure that was reported in a message box.
inline constexpr int kFailureExitStatus = 1;

// What the monitor window does on each of its events, the same with every toolkit. The toolkit's
// Form1 holds the monitor's state in its controls (the view) and forwards its events here; this
// reaches the window only through the view and the shell.
//
// No exception leaves a handler. The load, unload, expand/collapse and about handlers report a
// failure in a message box and end the program: failed() turns true, the timer stops and a
// running event loop ends with kFailureExitStatus; a failure in the expand/collapse or about
// handler also closes the window, which saves the settings. Once the program is ending without
// its user (endUnattended), such a failure is written as one line by writeError instead, and
// nothing waits for a click. The tick and the always-on-top command skip what fails and go on.
class Form1Handlers {
 public:
  Form1Handlers(MonitorView& view, WindowShell& shell, StatusShell& status, SettingsStore& settings,
                EchoService& echo, LoginStart* loginStart,
                std::function<void(const std::string& line)> writeError);

  // The program's start-up for a window that has just been created, its timer counting: the load
  // handler, then the first show. Returns false when the load failed; the failure has then been
  // reported and the window was never shown.
  bool start();
  // The start-up, then the event loop until the window has closed. Returns the program's exit
  // status: 0, or kFailureExitStatus after a reported failure.
  int run();

  // Window load: the settings (which may run the always-on-top command) and the status watch's
  // options, then one sweep. Returns false when it failed.
  bool load();
  // Window unload: stops the timer and saves the settings. Closing is never cancelled. After a
  // failed load nothing is saved: the window holds only part of what is stored, and the user
  // must find the stored values as they were.
  void unload();
  // Timer1: one tick of the refresh schedule.
  void timer1Tick();
  // ">>": a client area as high as the expanded view, or as high as the last expand left it where
  // the screen cut it short, collapses; any other height expands.
  void command1Click();
  // The system changed the client area's height by itself, later than the change asked for (a
  // window manager that fits windows to the screen): after an expand, that is what it left.
  void clientHeightChangedBySystem(int pixels);
  // "?": the about box.
  void command2Click();
  // Check2 changed, by a click or by program: the always-on-top command for its value.
  void check2Changed();

  // One check sweep over the window's slots, then the status icon and notifications.
  void doping();

  // The context menu of the window and of its status icon, as it is now.
  std::vector<WatchMenuItem> contextMenu() const { return watch_.menu(); }
  // A choice from the context menu. Where the entry that starts the program at login cannot be
  // changed, a box says why and the program goes on.
  void menuChosen(WatchOption option);

  // The program is ending without its user: an end signal, or the end of the session. What
  // fails from now on is not shown in a box.
  void endUnattended();

  // A handler that ends the program has failed: the program's status must be 1.
  bool failed() const { return failed_; }

 private:
  void reportFatal(MessagePlacement placement, const std::string& what,
                   const std::exception& failure);
  void endAfterFailure(const std::string& what, const std::exception& failure);

  MonitorView& view_;
  WindowShell& shell_;
  SettingsStore& settings_;
  EchoService& echo_;
  std::function<void(const std::string& line)> writeError_;
  StatusWatch watch_;
  RefreshSchedule schedule_;
  std::optional<int> heightLeftByExpand_;
  bool lastClickExpanded_ = false;
  bool failed_ = false;
  bool loadFailed_ = false;
  bool unattended_ = false;
};

}  // namespace orlo
