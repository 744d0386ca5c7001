#include "ui/form1_handlers.h"

#include "core/check_sweep.h"
#include "settings/settings_sequences.h"
#include "ui/form1_layout.h"

namespace orlo {

Form1Handlers::Form1Handlers(MonitorView& view, WindowShell& shell, SettingsStore& settings,
                             EchoService& echo)
    : view_(view), shell_(shell), settings_(settings), echo_(echo), schedule_(view, [this] {
        doping();
      }) {}

bool Form1Handlers::start() {
  if (!load()) {
    return false;
  }
  shell_.showWindow();
  return true;
}

int Form1Handlers::run() {
  if (!start()) {
    return kFailureExitStatus;
  }
  const int status = shell_.runEventLoop();
  return failed_ ? kFailureExitStatus : status;
}

bool Form1Handlers::load() {
  try {
    loadSettings(view_, settings_);
    doping();
  } catch (const std::exception& failure) {
    // The window is not shown yet, so the report stands alone.
    reportFatal(MessagePlacement::Alone, "could not load its settings", failure);
    return false;
  }
  return true;
}

void Form1Handlers::unload() {
  shell_.stopTimer();
  try {
    saveSettings(view_, settings_);
  } catch (const std::exception& failure) {
    reportFatal(MessagePlacement::OverTheWindow, "could not save its settings", failure);
  }
}

void Form1Handlers::timer1Tick() {
  try {
    schedule_.onTick();
  } catch (const std::exception&) {
    // Skip-and-continue: the next tick tries again.
  }
}

void Form1Handlers::command1Click() {
  try {
    const int dpi = shell_.verticalDpi();
    const int expanded = twipsToPixels(layout::kExpandedClientHeight, dpi);
    const int collapsed = twipsToPixels(layout::kCollapsedClientHeight, dpi);
    // Any height but the expanded one counts as collapsed, the height at creation included.
    shell_.setClientHeight(shell_.clientHeight() == expanded ? collapsed : expanded);
  } catch (const std::exception& failure) {
    endAfterFailure("could not change the window's height", failure);
  }
}

void Form1Handlers::command2Click() {
  try {
    shell_.showMessage(aboutBox(), MessagePlacement::OverTheWindow);
  } catch (const std::exception& failure) {
    endAfterFailure("could not show the about box", failure);
  }
}

void Form1Handlers::check2Changed() {
  try {
    shell_.keepAbove(view_.onTopValue() == 1);
  } catch (const std::exception&) {
    // Skip-and-continue: the box keeps its value and the stacking stays as it was.
  }
}

void Form1Handlers::doping() {
  ::orlo::doping(view_, echo_);
}

void Form1Handlers::reportFatal(MessagePlacement placement, const std::string& what,
                                const std::exception& failure) {
  failed_ = true;
  // No sweep runs behind the report.
  shell_.stopTimer();
  shell_.showMessage(failureReport(what, failure.what()), placement);
  shell_.endEventLoop(kFailureExitStatus);
}

void Form1Handlers::endAfterFailure(const std::string& what, const std::exception& failure) {
  reportFatal(MessagePlacement::OverTheWindow, what, failure);
  // Closing saves the settings, so the user's edits are not lost with the program.
  shell_.closeWindow();
}

}  // namespace orlo
