#pragma once

#include <windows.h>

#include <string>

struct IAccPropServices;

namespace orlo {

// Names and descriptions for screen readers on the system's own controls, through the annotation
// service of Active Accessibility (IAccPropServices), which Microsoft Active Accessibility and UI
// Automation clients both read. A control that is not annotated keeps the name the system gives
// it; where the service is missing or refuses an annotation (Wine does not implement it), that is
// all a screen reader gets. One object per thread that makes windows: it starts COM on the thread
// for as long as it lives.
class AccessibleTexts {
 public:
  AccessibleTexts();
  ~AccessibleTexts();
  AccessibleTexts(const AccessibleTexts&) = delete;
  AccessibleTexts& operator=(const AccessibleTexts&) = delete;

  // Gives the control this name and description; an empty one is left as the system has it.
  void annotate(HWND control, const std::string& name, const std::string& description);
  // Gives the control a new description; with announce, tells screen readers that it changed.
  void describe(HWND control, const std::string& description, bool announce);
  // Removes the control's annotations; for a control that is being destroyed.
  void clear(HWND control);

 private:
  bool comStarted_ = false;
  IAccPropServices* services_ = nullptr;
};

}  // namespace orlo
