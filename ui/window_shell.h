#pragma once

#include "ui/window_texts.h"

namespace orlo {

// Where a message box stands: over the shown window, or alone while the window is not shown.
enum class MessagePlacement { OverTheWindow, Alone };

// What the window's event handlers need of the toolkit beyond MonitorView. Each toolkit's window
// implements it; no control of the toolkit crosses it.
class WindowShell {
 public:
  virtual ~WindowShell() = default;

  // The client area's height in pixels, and the vertical logical DPI the layout was converted at.
  virtual int clientHeight() const = 0;
  virtual int verticalDpi() const = 0;
  // Sets the client area's height; the width and the position stay, and the user still cannot
  // resize the window.
  virtual void setClientHeight(int pixels) = 0;

  // Keeps the window above all other windows, or returns it to normal stacking. Either way the
  // window is activated, as the window manager's z-order call does. Before the window is first
  // shown this must still take effect from its first appearance.
  virtual void keepAbove(bool above) = 0;

  // Shows a modal message box and returns when the user has dismissed it.
  virtual void showMessage(const MessageBoxContent& content, MessagePlacement placement) = 0;

  // Stops Timer1: no tick comes after this.
  virtual void stopTimer() = 0;
  // The window's first show, with the focus on Command1.
  virtual void showWindow() = 0;
  // Closes the window as the user would, which runs the unload handler.
  virtual void closeWindow() = 0;
  // Runs the event loop until the window has closed or endEventLoop was called; returns the
  // loop's status.
  virtual int runEventLoop() = 0;
  // Ends a running event loop with this status. Before the loop runs (a failed load) there is
  // nothing to end: the start-up sees the failure instead, and a later loop is not cut short.
  virtual void endEventLoop(int status) = 0;
};

}  // namespace orlo
