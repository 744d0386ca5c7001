#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "core/echo_probe.h"
#include "core/monitor_view.h"
#include "settings/settings_store.h"
#include "ui/form1_controls.h"
#include "ui/form1_handlers.h"
#include "ui/win32/accessible_texts.h"
#include "ui/win32/message_box.h"
#include "ui/window_shell.h"

namespace orlo {

// What the window works with: the settings store it loads from and saves to, the echo service its
// sweeps probe with, the call that shows its message boxes, and how its first show shows it.
struct Form1Parts {
  SettingsStore& settings;
  EchoService& echo;
  MessageBoxCall messageBox = systemMessageBox;
  int showCommand = SW_SHOWNORMAL;  // wWinMain's nCmdShow
};

// The monitor window over the system's own controls. It holds the monitor's state in its
// controls, implements MonitorView over them and hands its events to its Form1Handlers. Its layout
// is the twips table converted at the system DPI, and its captions are in the system's message
// font at the classic 8 points.
//
// The window and its controls exist from construction on, hidden, with Timer1 counting, so that
// the load handler runs on a window that exists; the handlers' start() or run() show it. A window
// that was never closed is destroyed with the object, without its unload handler.
//
// Texts cross MonitorView as UTF-8. A text set by program reads back exactly as it was given for
// as long as the control still shows it, even where the control cannot hold all of it (a NUL ends
// a control's text); once the user has edited it, it reads as the control holds it.
class Form1 final : public MonitorView, private WindowShell {
 public:
  // Throws std::runtime_error when the system cannot make the window, its controls or its timer.
  explicit Form1(const Form1Parts& parts);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  std::string addressText(int slot) const override;
  void setAddressText(int slot, const std::string& text) override;
  std::int16_t enableValue(int slot) const override;
  void setEnableValue(int slot, std::int16_t value) override;
  LampColor lampColor(int slot) const override;
  void setLampColor(int slot, LampColor color) override;
  std::string intervalText() const override;
  void setIntervalText(const std::string& text) override;
  std::int16_t onTopValue() const override;
  void setOnTopValue(std::int16_t value) override;
  void setProbeReport(int slot, const ProbeReport& report) override;

  Form1Handlers& handlers() { return handlers_; }

  // The window; nullptr once it has been closed.
  HWND window() const { return window_; }
  // The control made for the entry of form1Controls() with this name ("Command1", "Text1_0",
  // "Shape1_9", ...); nullptr for any other name.
  HWND control(const std::string& name) const;

 private:
  struct TextBox {
    HWND control = nullptr;
    std::string given;   // the text the program set last
    std::wstring shown;  // what the control held right after that
  };

  static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) noexcept;
  LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void createWindow();
  void createControls();
  HWND createControl(const ControlSpec& spec, int index);
  void keep(const ControlSpec& spec, HWND control);
  void addLampToolTip(HWND lamp, const std::string& text);
  void buttonClicked(HWND button);
  void drawLamp(const DRAWITEMSTRUCT& item) const;
  static std::string boxText(const TextBox& box);
  static void setBoxText(TextBox& box, const std::string& text);

  int clientHeight() const override;
  int verticalDpi() const override;
  void setClientHeight(int pixels) override;
  void keepAbove(bool above) override;
  void showMessage(const MessageBoxContent& content, MessagePlacement placement) override;
  void stopTimer() override;
  void showWindow() override;
  void closeWindow() override;
  int runEventLoop() override;
  void endEventLoop(int status) override;

  MessageBoxCall messageBox_;
  const int showCommand_;
  const int dpiX_;
  const int dpiY_;
  const std::string programPath_;
  AccessibleTexts accessible_;
  HFONT font_ = nullptr;

  HWND window_ = nullptr;
  HWND toolTips_ = nullptr;
  std::vector<std::pair<std::string, HWND>> controls_;
  HWND command1_ = nullptr;
  HWND command2_ = nullptr;
  HWND check2_ = nullptr;
  std::array<TextBox, kSlotCount> text1_{};
  std::array<HWND, kSlotCount> check1_{};
  std::array<HWND, kSlotCount> shape1_{};
  TextBox tijd_;
  std::array<LampColor, kSlotCount> lampColors_{};
  std::array<std::string, kSlotCount> lampReports_{};
  HWND focus_ = nullptr;  // the control that gets the focus back when the window is activated

  Form1Handlers handlers_;
  bool loopRunning_ = false;
  bool loopEnded_ = false;
  int exitStatus_ = 0;
};

}  // namespace orlo
