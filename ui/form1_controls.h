#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/form1_layout.h"

namespace orlo {

// The controls of the monitor window Form1, as every toolkit builds them: each window walks
// form1Controls() and makes one control of its own per entry.

enum class Control { Command1, Text1, Check1, Command2, Label1, Tijd, Label2, Check2, Shape1 };

enum class ControlKind {
  PushButton,            // no default button, no access key
  TextBox,               // single line, no length limit, starts empty
  CheckBoxCaptionLeft,   // caption left of the box, starts unchecked
  CheckBoxCaptionRight,  // caption right of the box, starts unchecked
  Label,                 // takes no focus
  Lamp,                  // a solid circle in its LampColor, starts black; takes no focus
};

// A check box's value after a click (0 unchecked, 1 checked, 2 greyed): a click checks an
// unchecked or a greyed box and unchecks a checked one, so that greyed is reached only by program.
constexpr std::int16_t boxValueAfterClick(std::int16_t value) {
  return value == 1 ? 0 : 1;
}

struct ControlSpec {
  Control control;
  int slot;  // 0 to 9 for Text1, Check1 and Shape1; -1 for the single controls
  ControlKind kind;
  std::string name;  // the object name: "Command1", "Text1_0" .. "Text1_9", "tijd" and so on
  std::string caption;
  TwipsRect rect;
  // For assistive technology; empty where the caption says it. A lamp's description is what
  // its slot's last probe found, shown as its tooltip too; this is the text before any probe.
  std::string accessibleName;
  std::string accessibleDescription;
};

// Every visible control in creation order: Command1, then Text1(i) and Check1(i) for each slot,
// Command2, Label1, tijd, Label2, Check2, and last the ten lamps Shape1(i). The controls that
// take the focus keep this order as their tab order, starting at Command1. Where two controls
// overlap (Label1 and tijd), the later one is drawn above the earlier.
std::vector<ControlSpec> form1Controls();

// Where a control stands in form1Controls(): slot is 0 to 9 for Text1, Check1 and Shape1 and -1
// for the single controls. Each toolkit's window keeps its controls in that order.
std::size_t controlIndex(Control control, int slot);

// The object name of a slot's control: slotControlName("Text1", 0) is "Text1_0".
std::string slotControlName(const std::string& array, int slot);

inline constexpr int kTimer1IntervalMs = 1000;

}  // namespace orlo
