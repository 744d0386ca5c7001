#include "ui/win32/form1_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <stdexcept>
#include <utility>

#include "core/windows_text.h"
#include "ui/form1_layout.h"
#include "ui/win32/resource_ids.h"

namespace orlo {
namespace {

constexpr wchar_t kWindowClass[] = L"Orlo.Monitor.Form1";
constexpr UINT_PTR kTimer1Id = 1;
// Control ids start above IDOK and IDCANCEL, which the dialog keys Enter and Escape send: no
// control is a default or cancel button.
constexpr int kFirstControlId = 100;
// A fixed size: a caption with the system menu, minimise and close, but no sizing border and no
// maximise box.
constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;
// Long lamp texts wrap at about three inches.
constexpr int kToolTipWidthTwips = 4320;

[[noreturn]] void failSystemCall(const char* what) {
  throw std::runtime_error(std::string("The window could not be made: ") + what +
                           " failed: " + windows::systemMessage(::GetLastError()));
}

int screenDpi(int axis) {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, axis);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

// The system's message font, in the point size the layout is made for (that of newer systems is
// larger), at the layout's DPI.
HFONT createCaptionFont(int dpiY) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW font{};
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    font = metrics.lfMessageFont;
  } else {
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  }
  font.lfHeight = -::MulDiv(layout::kCaptionPointSize, dpiY, 72);
  font.lfWidth = 0;
  // Without a font of its own each control draws in the system font, which is still readable.
  return ::CreateFontIndirectW(&font);
}

std::wstring windowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

struct SystemControl {
  const wchar_t* className;
  DWORD style;
  DWORD exStyle;
};

// Box values 0, 1 and 2 are the button states unchecked, checked and greyed. The boxes are
// three-state so that greyed can be set, but the window decides what a click does.
SystemControl systemControl(ControlKind kind) {
  switch (kind) {
    case ControlKind::PushButton:
      return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::TextBox:
      return {L"EDIT", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::CheckBoxCaptionLeft:
      return {L"BUTTON", BS_3STATE | BS_LEFTTEXT | BS_RIGHT | WS_TABSTOP, 0};
    case ControlKind::CheckBoxCaptionRight:
      return {L"BUTTON", BS_3STATE | WS_TABSTOP, 0};
    case ControlKind::Label:
      return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::Lamp:
      // SS_NOTIFY lets the mouse reach the lamp, and with it the tooltip.
      return {L"STATIC", SS_OWNERDRAW | SS_NOTIFY, 0};
  }
  throw std::logic_error("unknown control kind");
}

// The icons' events come as this message, and the balloon's own icon goes at this timer.
constexpr UINT kNotifyIconMessage = WM_APP + 1;
constexpr UINT_PTR kBalloonIconTimerId = 2;

bool takesFocus(ControlKind kind) {
  return kind != ControlKind::Label && kind != ControlKind::Lamp;
}

}  // namespace

Form1Window::Form1Window(const MonitorParts& parts, MessageBoxCall messageBox, int showCommand)
    : messageBox_(std::move(messageBox)),
      showCommand_(showCommand),
      dpiX_(screenDpi(LOGPIXELSX)),
      dpiY_(screenDpi(LOGPIXELSY)),
      specs_(form1Controls()),
      form_(*this, parts) {
  const INITCOMMONCONTROLSEX commonControls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&commonControls);
  font_ = createCaptionFont(dpiY_);
  try {
    createWindow();
    icons_.emplace(window_, kNotifyIconMessage, kBalloonIconTimerId);
    createControls();
    // Timer1 counts from the moment the window exists.
    if (::SetTimer(window_, kTimer1Id, kTimer1IntervalMs, nullptr) == 0) {
      failSystemCall("SetTimer");
    }
  } catch (...) {
    // The destructor does not run for a constructor that throws.
    if (window_ != nullptr) {
      ::DestroyWindow(window_);
    }
    ::DeleteObject(font_);
    throw;
  }
}

Form1Window::~Form1Window() {
  if (window_ != nullptr) {
    ::DestroyWindow(window_);
  }
  ::DeleteObject(font_);
}

void Form1Window::createWindow() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &Form1Window::windowProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kWindowClass;
  // A program without the icon resource (a test) gets the system's default icon.
  windowClass.hIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(ORLO_PROGRAM_ICON),
                                                      IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                                      ::GetSystemMetrics(SM_CYICON), LR_SHARED));
  windowClass.hIconSm = static_cast<HICON>(
      ::LoadImageW(instance, MAKEINTRESOURCEW(ORLO_PROGRAM_ICON), IMAGE_ICON,
                   ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  // Registered once per process; a later window finds it registered.
  if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    failSystemCall("RegisterClassExW");
  }

  RECT outer{0, 0, twipsToPixels(layout::kClientWidth, dpiX_),
             twipsToPixels(layout::kCreationClientHeight, dpiY_)};
  ::AdjustWindowRectEx(&outer, kWindowStyle, FALSE, kWindowExStyle);
  // WM_NCCREATE sets window_.
  if (::CreateWindowExW(kWindowExStyle, kWindowClass,
                        windows::utf16FromUtf8Replacing(windowCaption()).c_str(), kWindowStyle,
                        CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left,
                        outer.bottom - outer.top, nullptr, nullptr, instance, this) == nullptr) {
    failSystemCall("CreateWindowExW");
  }
}

void Form1Window::createControls() {
  // Not owned by the window, and so destroyed with it by hand: under Wine, a window that owns a
  // tooltip with tools cannot be made topmost (SetWindowPos with HWND_TOPMOST leaves it as it is).
  toolTips_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
  if (toolTips_ == nullptr) {
    failSystemCall("CreateWindowExW for the lamps' tooltips");
  }
  ::SendMessageW(toolTips_, TTM_SETMAXTIPWIDTH, 0, twipsToPixels(kToolTipWidthTwips, dpiX_));

  // Made in the list's order, which the system keeps as the order of the controls (their
  // z-order), and so as the tab order.
  for (std::size_t index = 0; index < specs_.size(); ++index) {
    controls_.push_back(createControl(specs_[index], static_cast<int>(index)));
  }
  // Labels and lamps lie below every control that takes the focus, so that the text box tijd is
  // drawn above Label1, which it overlaps, and the tab order stays as made.
  for (std::size_t index = 0; index < specs_.size(); ++index) {
    if (!takesFocus(specs_[index].kind)) {
      ::SetWindowPos(controls_[index], HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  focus_ = controlOf(Control::Command1, -1);
}

HWND Form1Window::createControl(const ControlSpec& spec, int index) {
  const SystemControl kind = systemControl(spec.kind);
  const PixelRect rect = pixelRect(spec.rect, dpiX_, dpiY_);
  // A lamp draws no text: its window text is its name, which the system gives screen readers.
  const std::string& text = spec.kind == ControlKind::Lamp ? spec.accessibleName : spec.caption;
  const HWND control = ::CreateWindowExW(
      kind.exStyle, kind.className, windows::utf16FromUtf8Replacing(text).c_str(),
      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | kind.style, rect.left, rect.top, rect.width,
      rect.height, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + index)),
      ::GetModuleHandleW(nullptr), nullptr);
  if (control == nullptr) {
    failSystemCall(("CreateWindowExW for " + spec.name).c_str());
  }
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  if (spec.kind == ControlKind::TextBox) {
    // The texts are kept exactly as typed or stored: no length limit.
    ::SendMessageW(control, EM_SETLIMITTEXT, 0, 0);
  }
  if (spec.kind == ControlKind::Lamp) {
    // A lamp's description is what its slot's last probe found, shown as its tooltip too.
    accessible_.annotate(control, "", spec.accessibleDescription);
    setLampToolTip(control, spec.accessibleDescription, TTM_ADDTOOLW);
  } else {
    accessible_.annotate(control, spec.accessibleName, spec.accessibleDescription);
  }
  return control;
}

HWND Form1Window::controlOf(Control kind, int slot) const {
  return controls_[controlIndex(kind, slot)];
}

// The lamp's tooltip watches the mouse over the lamp itself; message adds the tool or updates
// its text.
void Form1Window::setLampToolTip(HWND lamp, const std::string& text, UINT message) {
  std::wstring wide = windows::utf16FromUtf8Replacing(text);
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(lamp);
  tool.lpszText = wide.data();
  if (!::SendMessageW(toolTips_, message, 0, reinterpret_cast<LPARAM>(&tool)) &&
      message == TTM_ADDTOOLW) {
    failSystemCall("TTM_ADDTOOLW");
  }
}

HWND Form1Window::control(const std::string& name) const {
  for (std::size_t index = 0; index < specs_.size(); ++index) {
    if (specs_[index].name == name) {
      return controls_[index];
    }
  }
  return nullptr;
}

LRESULT CALLBACK Form1Window::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* form =
        static_cast<Form1Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Form1Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) {
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  // The handlers catch what fails in them; anything else ends the program here rather than
  // unwinding through the system's frames.
  return form->handleMessage(window, message, wParam, lParam);
}

LRESULT Form1Window::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (icons_) {
    if (const auto request = icons_->handle(message, wParam, lParam)) {
      iconClicked(*request);
      return 0;
    }
  }
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
        const int index = LOWORD(wParam) - kFirstControlId;
        if (index >= 0 && index < static_cast<int>(specs_.size())) {
          form_.clicked(specs_[index].control, specs_[index].slot);
        }
        return 0;
      }
      break;
    case WM_TIMER:
      // WM_TIMER comes only when no other message waits, so the window is painted before the
      // first tick, and ticks that fall due during a sweep come as one.
      if (wParam == kTimer1Id) {
        form_.handlers().timer1Tick();
        return 0;
      }
      break;
    case WM_DRAWITEM:
      drawLamp(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(window, focus)) {
          focus_ = focus;
        }
      }
      // The system gives the focus to the window itself, which passes it on (WM_SETFOCUS).
      break;
    case WM_SETFOCUS:
      ::SetFocus(focus_);
      return 0;
    case WM_CONTEXTMENU: {
      // From the keyboard (the menu key, Shift+F10) the point is -1, -1: the menu opens at the
      // window's corner. A right-click on the title bar or the frame opens the system menu.
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (at.x == -1 && at.y == -1) {
        at = {0, 0};
        ::ClientToScreen(window, &at);
      } else if (::SendMessageW(window, WM_NCHITTEST, 0, lParam) != HTCLIENT) {
        break;
      }
      showContextMenu(at);
      return 0;
    }
    case WM_CLOSE:
      // Closing is never cancelled, whatever the save does.
      form_.handlers().unload();
      ::DestroyWindow(window);
      return 0;
    case WM_ENDSESSION:
      // The system ends the program when this returns, without WM_CLOSE: close it as the user
      // would, which saves the settings.
      if (wParam != FALSE) {
        closeWindow();
      }
      return 0;
    case WM_DESTROY:
      for (const HWND control : controls_) {
        accessible_.clear(control);
      }
      ::DestroyWindow(toolTips_);
      toolTips_ = nullptr;
      icons_.reset();
      // A box that stands alone (the load's failure) belongs to no window, and would stay after
      // this one: a WM_QUIT ends its loop, as it ends MessageBoxW's, and so the program.
      if (boxStandsAlone_) {
        ::PostQuitMessage(kFailureExitStatus);
        quitPostedForBox_ = true;
      }
      // Whatever destroyed the window ends the program. A close sent from another program is
      // handled inside GetMessageW, which would go on waiting for a posted message: post one.
      if (loopRunning_) {
        loopEnded_ = true;
        ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
      }
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void Form1Window::drawLamp(const DRAWITEMSTRUCT& item) const {
  LampColor color = LampColor::Black;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (controlOf(Control::Shape1, slot) == item.hwndItem) {
      color = lampColors_[slot];
    }
  }
  const Rgb rgb = rgbOf(color);
  const COLORREF fill = RGB(rgb.red, rgb.green, rgb.blue);
  // The window's background around the circle; the circle in one colour, edge included, and
  // without smoothing, so that every pixel of it is exactly the lamp's colour.
  ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
  const HBRUSH brush = ::CreateSolidBrush(fill);
  const HPEN pen = ::CreatePen(PS_SOLID, 1, fill);
  const HGDIOBJ oldBrush = ::SelectObject(item.hDC, brush);
  const HGDIOBJ oldPen = ::SelectObject(item.hDC, pen);
  ::Ellipse(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom);
  ::SelectObject(item.hDC, oldPen);
  ::SelectObject(item.hDC, oldBrush);
  ::DeleteObject(pen);
  ::DeleteObject(brush);
}

std::string Form1Window::text(Control box, int slot) const {
  return windows::utf8FromUtf16Replacing(windowText(controlOf(box, slot)));
}

void Form1Window::setText(Control box, int slot, const std::string& text) {
  ::SetWindowTextW(controlOf(box, slot), windows::utf16FromUtf8Replacing(text).c_str());
}

// Box values 0, 1 and 2 are the button states unchecked, checked and greyed.
std::int16_t Form1Window::boxValue(Control box, int slot) const {
  return static_cast<std::int16_t>(::SendMessageW(controlOf(box, slot), BM_GETCHECK, 0, 0));
}

void Form1Window::setBoxValue(Control box, int slot, std::int16_t value) {
  ::SendMessageW(controlOf(box, slot), BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

LampColor Form1Window::lampColor(int slot) const {
  return lampColors_[slot];
}

void Form1Window::setLampColor(int slot, LampColor color) {
  lampColors_[slot] = color;
  ::InvalidateRect(controlOf(Control::Shape1, slot), nullptr, FALSE);
}

std::string Form1Window::lampReport(int slot) const {
  return lampReports_[slot];
}

void Form1Window::setLampReport(int slot, const std::string& text, bool announce) {
  const HWND lamp = controlOf(Control::Shape1, slot);
  setLampToolTip(lamp, text, TTM_UPDATETIPTEXTW);
  accessible_.describe(lamp, text, announce);
  lampReports_[slot] = text;
}

bool Form1Window::hasNotificationArea() const {
  return NotificationAreaIcons::exists();
}

StatusTextLimits Form1Window::textLimits() const {
  return NotificationAreaIcons::textLimits();
}

void Form1Window::showStatusIcon(const StatusIcon& icon) {
  if (icons_) {
    icons_->showStatus(icon);
  }
}

void Form1Window::hideStatusIcon() {
  if (icons_) {
    icons_->hideStatus();
  }
}

void Form1Window::notify(const std::string& title, const std::string& text, StatusState state) {
  if (icons_) {
    icons_->notify(title, text, state);
  }
}

void Form1Window::iconClicked(NotificationAreaIcons::Request request) {
  switch (request) {
    case NotificationAreaIcons::Request::ShowWindow:
      // Restored if minimised, raised and activated.
      ::ShowWindow(window_, SW_RESTORE);
      ::SetForegroundWindow(window_);
      break;
    case NotificationAreaIcons::Request::ContextMenu: {
      POINT at{};
      ::GetCursorPos(&at);
      // The menu closes when the user clicks elsewhere only while its window is in front.
      ::SetForegroundWindow(window_);
      showContextMenu(at);
      ::PostMessageW(window_, WM_NULL, 0, 0);
      break;
    }
    case NotificationAreaIcons::Request::None:
      break;
  }
}

void Form1Window::showContextMenu(POINT at) {
  const std::vector<WatchMenuItem> items = form_.contextMenu();
  const HMENU menu = ::CreatePopupMenu();
  if (menu == nullptr) {
    return;
  }
  for (std::size_t index = 0; index < items.size(); ++index) {
    const UINT state = (items[index].checked ? MF_CHECKED : MF_UNCHECKED) |
                       (items[index].enabled ? MF_ENABLED : MF_GRAYED);
    ::AppendMenuW(menu, MF_STRING | state, index + 1,
                  windows::utf16FromUtf8Replacing(items[index].text).c_str());
  }
  const UINT chosen = static_cast<UINT>(
      ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr));
  ::DestroyMenu(menu);
  if (chosen > 0 && chosen <= items.size()) {
    form_.toggle(items[chosen - 1].option);
  }
}

int Form1Window::clientHeight() const {
  RECT client{};
  ::GetClientRect(window_, &client);
  return client.bottom - client.top;
}

int Form1Window::verticalDpi() const {
  return dpiY_;
}

void Form1Window::setClientHeight(int pixels) {
  RECT client{};
  ::GetClientRect(window_, &client);
  RECT outer{0, 0, client.right - client.left, pixels};
  ::AdjustWindowRectEx(&outer, kWindowStyle, FALSE, kWindowExStyle);
  if (!::SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)) {
    throw std::runtime_error("The window's height could not be changed: " +
                             windows::systemMessage(::GetLastError()));
  }
}

void Form1Window::keepAbove(bool above) {
  // The window exists from the start, hidden, so that this takes effect from its first
  // appearance. What the window manager makes of it is not checked: the command skips what fails.
  ::SetWindowPos(window_, above ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

void Form1Window::showMessage(const MessageBoxContent& content, MessagePlacement placement) {
  const bool overTheWindow = placement == MessagePlacement::OverTheWindow && window_ != nullptr &&
                             ::IsWindowVisible(window_);
  boxStandsAlone_ = !overTheWindow;
  showMessageBox(messageBox_, overTheWindow ? window_ : nullptr, content);
  boxStandsAlone_ = false;
  // The WM_QUIT that ended the box, had the window gone meanwhile, has done its work: none is
  // left behind to end a later loop.
  if (std::exchange(quitPostedForBox_, false)) {
    MSG quit{};
    ::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }
}

void Form1Window::stopTimer() {
  ::KillTimer(window_, kTimer1Id);
}

void Form1Window::showWindow() {
  ::ShowWindow(window_, showCommand_);
  ::SetFocus(controlOf(Control::Command1, -1));
}

void Form1Window::closeWindow() {
  if (window_ != nullptr) {
    ::SendMessageW(window_, WM_CLOSE, 0, 0);
  }
}

int Form1Window::runEventLoop() {
  loopRunning_ = true;
  loopEnded_ = false;
  MSG message{};
  // The loop ends after the message whose handling ended it, so that no WM_QUIT is left behind
  // to end a message box that a later handler shows.
  while (!loopEnded_) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // WM_QUIT from elsewhere, with its status, or a failure of the loop itself: the window
      // closes as the user would close it, which saves the settings, and the program ends.
      closeWindow();
      loopRunning_ = false;
      return got == 0 ? static_cast<int>(message.wParam) : kFailureExitStatus;
    }
    // Tab and Shift+Tab move the focus through the controls, as in a dialog.
    if (window_ == nullptr || !::IsDialogMessageW(window_, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  loopRunning_ = false;
  return exitStatus_;
}

void Form1Window::endEventLoop(int status) {
  if (loopRunning_) {
    exitStatus_ = status;
    loopEnded_ = true;
  }
}

}  // namespace orlo
