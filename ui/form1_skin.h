#pragma once

#include <cstdint>
#include <string>

#include "core/monitor_view.h"
#include "ui/form1_controls.h"
#include "ui/status_watch.h"
#include "ui/window_shell.h"

namespace orlo {

// What Form1 needs of a toolkit's window: the state its controls hold, the window calls of
// WindowShell, and the status icon and notifications of StatusShell. Each toolkit's window makes
// its controls from form1Controls() and implements this over them; no control of the toolkit
// crosses it. A control is named by its kind and, for Text1, Check1 and Shape1, its slot (-1 for
// the single controls); Form1 only names controls that exist. Texts cross as UTF-8: what the
// control cannot hold becomes U+FFFD on the way in, and comes back as the control holds it.
class Form1Skin : public WindowShell, public StatusShell {
 public:
  // The text of a text box: Text1(slot) or tijd.
  virtual std::string text(Control box, int slot) const = 0;
  virtual void setText(Control box, int slot, const std::string& text) = 0;

  // The value of a check box, Check1(slot) or Check2: 0 unchecked, 1 checked, 2 greyed. A box
  // never changes its value by itself: Form1 decides what a click makes of it.
  virtual std::int16_t boxValue(Control box, int slot) const = 0;
  virtual void setBoxValue(Control box, int slot, std::int16_t value) = 0;

  // The colour of lamp Shape1(slot), which only asks for a repaint: the colours of one sweep
  // appear together when the window next paints.
  virtual LampColor lampColor(int slot) const = 0;
  virtual void setLampColor(int slot, LampColor color) = 0;

  // What lamp Shape1(slot) says about its slot's last probe: its tooltip and the description
  // screen readers read. With announce, screen readers are told that the description changed.
  virtual std::string lampReport(int slot) const = 0;
  virtual void setLampReport(int slot, const std::string& text, bool announce) = 0;
};

}  // namespace orlo
