#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "ui/form1.h"
#include "ui/form1_skin.h"
#include "ui/win32/accessible_texts.h"
#include "ui/win32/message_box.h"
#include "ui/win32/notification_area.h"

namespace orlo {

// The monitor window over the system's own controls: it makes, draws and wires the controls of
// form1Controls() and hands their events to its Form1, which holds the window's behaviour. Its
// layout is the twips table converted at the system DPI, and its captions are in the system's
// message font at the classic 8 points.
//
// The window and its controls exist from construction on, hidden, with Timer1 counting, so that
// the load handler runs on a window that exists; the handlers' start() or run() show it. A window
// that was never closed is destroyed with the object, without its unload handler.
class Form1Window final : private Form1Skin {
 public:
  // Message boxes go through messageBox; the first show shows the window as showCommand (wWinMain's
  // nCmdShow) says. Throws std::runtime_error when the system cannot make the window, its
  // controls or its timer.
  explicit Form1Window(const MonitorParts& parts, MessageBoxCall messageBox = systemMessageBox,
                       int showCommand = SW_SHOWNORMAL);
  ~Form1Window() override;
  Form1Window(const Form1Window&) = delete;
  Form1Window& operator=(const Form1Window&) = delete;

  Form1& form() { return form_; }

  // The window; nullptr once it has been closed.
  HWND window() const { return window_; }
  // The control made for the entry of form1Controls() with this name ("Command1", "Text1_0",
  // "Shape1_9", ...); nullptr for any other name.
  HWND control(const std::string& name) const;

 private:
  static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) noexcept;
  LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void createWindow();
  void createControls();
  HWND createControl(const ControlSpec& spec, int index);
  HWND controlOf(Control kind, int slot) const;
  void setLampToolTip(HWND lamp, const std::string& text, UINT message);
  void drawLamp(const DRAWITEMSTRUCT& item) const;

  std::string text(Control box, int slot) const override;
  void setText(Control box, int slot, const std::string& text) override;
  std::int16_t boxValue(Control box, int slot) const override;
  void setBoxValue(Control box, int slot, std::int16_t value) override;
  LampColor lampColor(int slot) const override;
  void setLampColor(int slot, LampColor color) override;
  std::string lampReport(int slot) const override;
  void setLampReport(int slot, const std::string& text, bool announce) override;

  bool hasNotificationArea() const override;
  StatusTextLimits textLimits() const override;
  void showStatusIcon(const StatusIcon& icon) override;
  void hideStatusIcon() override;
  void notify(const std::string& title, const std::string& text, StatusState state) override;
  // Shows the context menu at a point of the screen, and does what the user chooses from it.
  void showContextMenu(POINT at);
  // What a click on an icon in the notification area asks of the window.
  void iconClicked(NotificationAreaIcons::Request request);

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
  const std::vector<ControlSpec> specs_;  // form1Controls(), whose order controls_ keeps
  AccessibleTexts accessible_;
  HFONT font_ = nullptr;

  HWND window_ = nullptr;
  HWND toolTips_ = nullptr;
  std::vector<HWND> controls_;
  std::array<LampColor, kSlotCount> lampColors_{};
  std::array<std::string, kSlotCount> lampReports_{};
  HWND focus_ = nullptr;  // the control that gets the focus back when the window is activated
  std::optional<NotificationAreaIcons> icons_;  // while the window exists
  bool boxStandsAlone_ = false;                 // a message box without an owner shows
  bool quitPostedForBox_ = false;

  Form1 form_;
  bool loopRunning_ = false;
  bool loopEnded_ = false;
  int exitStatus_ = 0;
};

}  // namespace orlo
