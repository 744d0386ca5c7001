#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orlo {

// The texts of the monitor window and its message boxes that are not a control's caption (those
// are in form1_controls.cpp, the lamps' outcome texts in probe_report_text.cpp). The program's
// name and version come from the project's one definition of them.

enum class MessageIcon { None, Failure };

// What one modal message box says. It always has exactly one button, OK.
struct MessageBoxContent {
  std::string title;
  std::vector<std::string> lines;
  MessageIcon icon = MessageIcon::None;

  // The lines joined by the toolkit's line break.
  std::string text(std::string_view lineBreak) const;
  // The lines that are not empty, joined by spaces: the box as one line, for a terminal.
  std::string oneLine() const;
};

// The window's caption: the program's name.
std::string windowCaption();

// The about box: title "Orlo - Monitor", no icon, seven lines.
MessageBoxContent aboutBox();

// A failure that ends the program: what the program could not do ("could not save its
// settings") and the failure's own words.
MessageBoxContent failureReport(const std::string& what, const std::string& reason);

// The entry that starts the program at login could not be changed; the program goes on.
MessageBoxContent loginStartFailureReport(const std::string& reason);

// A failure before the window exists.
MessageBoxContent startFailureReport(const std::string& reason);

// The tooltip of "Window always on top." where the desktop cannot keep a window above the others.
std::string noOnTopToolTip();

}  // namespace orlo
