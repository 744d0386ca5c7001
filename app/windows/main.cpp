// The monitor on Windows: watches up to ten IPv4 hosts and shows each as a lamp in a window of the
// system's own controls.

#include <windows.h>

#include <exception>
#include <string>

#include "core/echo_probe.h"
#include "core/windows_text.h"
#include "settings/login_start_windows.h"
#include "settings/registry_store.h"
#include "ui/form1_handlers.h"
#include "ui/win32/form1_window.h"
#include "ui/win32/message_box.h"
#include "ui/window_texts.h"

namespace {

std::wstring executablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
  try {
    const std::wstring program = executablePath();
    orlo::RegistryStore settings;
    orlo::Module1 echo;
    // The Run key's value names the path exactly as the system gave it.
    orlo::RunKeyLoginStart loginStart(program);
    orlo::MonitorParts parts{settings, echo, orlo::windows::utf8FromUtf16Replacing(program)};
    parts.loginStart = &loginStart;
    orlo::Form1Window form1(parts, orlo::systemMessageBox, showCommand);
    return form1.form().handlers().run();
  } catch (const std::exception& failure) {
    // The window reports its own failures; this is what fails before it exists.
    orlo::showMessageBox(orlo::systemMessageBox, nullptr, orlo::startFailureReport(failure.what()));
    return orlo::kFailureExitStatus;
  }
}
