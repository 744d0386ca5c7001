// The monitor on Windows: watches up to ten IPv4 hosts and shows each as a lamp in a window of the
// system's own controls.

#include <windows.h>

#include <exception>

#include "core/echo_probe.h"
#include "settings/registry_store.h"
#include "ui/form1_handlers.h"
#include "ui/win32/form1.h"
#include "ui/win32/message_box.h"
#include "ui/window_texts.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  try {
    orlo::RegistryStore settings;
    orlo::Module1 echo;
    orlo::Form1 form1({settings, echo, orlo::systemMessageBox, showCommand});
    return form1.handlers().run();
  } catch (const std::exception& failure) {
    // The window reports its own failures; this is what fails before it exists.
    orlo::showMessageBox(orlo::systemMessageBox, nullptr, orlo::startFailureReport(failure.what()));
    return orlo::kFailureExitStatus;
  }
}
