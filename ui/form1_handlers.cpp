#include "ui/form1_handlers.h"

#include <new>
#include <utility>

#include "core/check_sweep.h"
#include "settings/settings_sequences.h"
#include "ui/form1_layout.h"

namespace orlo {
namespace {

// The failure's own words; running out of memory says so rather than naming the exception.
std::string reasonOf(const std::exception& failure) {
  if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr) {
    return "The program ran out of memory.";
  }
  return failure.what();
}

}  // namespace

Form1Handlers::Form1Handlers(MonitorView& view, WindowShell& shell, StatusShell& status,
                             SettingsStore& settings, EchoService& echo, LoginStart* loginStart,
                             std::function<void(const std::string& line)> writeError)
    : view_(view),
      shell_(shell),
      settings_(settings),
      echo_(echo),
      writeError_(std::move(writeError)),
      watch_(status, loginStart),
      schedule_(view, [this] { doping(); }) {}

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
    watch_.load(settings_);
    doping();
  } catch (const std::exception& failure) {
    loadFailed_ = true;
    // The window is not shown yet, so the report stands alone.
    reportFatal(MessagePlacement::Alone, "could not load its settings", failure);
    return false;
  }
  return true;
}

void Form1Handlers::unload() {
  shell_.stopTimer();
  if (loadFailed_) {
    return;
  }
  try {
    saveSettings(view_, settings_, watch_.settingsToSave());
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
    const int height = shell_.clientHeight();
    // A screen too small for the expanded view cuts it short; what the last expand left counts
    // as expanded too. Any other height counts as collapsed, the height at creation included.
    lastClickExpanded_ = height != expanded && height != heightLeftByExpand_;
    shell_.setClientHeight(lastClickExpanded_ ? expanded
                                              : twipsToPixels(layout::kCollapsedClientHeight, dpi));
    if (lastClickExpanded_) {
      heightLeftByExpand_ = shell_.clientHeight();
    }
  } catch (const std::exception& failure) {
    endAfterFailure("could not change the window's height", failure);
  }
}

void Form1Handlers::clientHeightChangedBySystem(int pixels) {
  if (lastClickExpanded_) {
    heightLeftByExpand_ = pixels;
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
  if (!::orlo::doping(view_, echo_)) {
    return;  // the sockets layer refused: nothing was swept
  }
  // What the sweep left in the view: the lamps it painted, and the boxes and addresses it read.
  SweepRecord swept;
  try {
    for (int slot = 0; slot < kSlotCount; ++slot) {
      swept[slot] = SlotSweep{view_.addressText(slot), view_.enableValue(slot) == 1,
                              view_.lampColor(slot) == LampColor::Green};
    }
  } catch (const std::exception&) {
    // A view that cannot be read is no record to show or compare: the icon keeps the last one.
    return;
  }
  watch_.sweepEnded(swept);
}

void Form1Handlers::menuChosen(WatchOption option) {
  try {
    watch_.toggle(option);
  } catch (const LoginStartError& failure) {
    shell_.showMessage(loginStartFailureReport(failure.what()), MessagePlacement::OverTheWindow);
  }
}

void Form1Handlers::endUnattended() {
  unattended_ = true;
}

void Form1Handlers::reportFatal(MessagePlacement placement, const std::string& what,
                                const std::exception& failure) {
  failed_ = true;
  // No sweep runs behind the report.
  shell_.stopTimer();
  const MessageBoxContent report = failureReport(what, reasonOf(failure));
  if (!unattended_) {
    shell_.showMessage(report, placement);
  }
  // Nobody is there to dismiss a box, or the end of the program closed it unread: the program
  // ends now, and says why in one line.
  if (unattended_) {
    writeError_(report.oneLine());
  }
  shell_.endEventLoop(kFailureExitStatus);
}

void Form1Handlers::endAfterFailure(const std::string& what, const std::exception& failure) {
  reportFatal(MessagePlacement::OverTheWindow, what, failure);
  // Closing saves the settings, so the user's edits are not lost with the program.
  shell_.closeWindow();
}

}  // namespace orlo
