// The Win32 window under Wine: its controls against the shared list, its layout at the system
// DPI, the lamps' pixels, the system calls of its commands, its message boxes, its event loop and
// close, and what the lamps tell screen readers. What Form1 decides has its own tests. The names
// and descriptions the window annotates its other controls with (IAccPropServices) cannot be read
// back here: Wine does not implement the service (E_NOTIMPL).

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/windows_text.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/scripted_echo.h"
#include "ui/form1_controls.h"
#include "ui/form1_layout.h"
#include "ui/probe_report_text.h"
#include "ui/win32/form1_window.h"

namespace orlo {
namespace {

using testing_support::MemorySettingsStore;
using testing_support::ScriptedEcho;

struct ShownBox {
  HWND owner;
  std::wstring text;
  std::wstring title;
  UINT style;
};

// One window over in-memory parts, whose message boxes are recorded instead of shown.
struct Win32Window {
  MemorySettingsStore store;
  ScriptedEcho echo;
  std::vector<ShownBox> boxes;
  Form1Window form1{
      {store, echo, "C:\\Orlo\\monitor.exe"},
      [this](HWND owner, const std::wstring& text, const std::wstring& title, UINT style) {
        boxes.push_back({owner, text, title, style});
      }};
  Form1& form = form1.form();

  HWND control(const std::string& name) const {
    const HWND found = form1.control(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
};

int systemDpi(int axis) {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, axis);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

std::wstring textOf(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

LONG styleOf(HWND window) {
  return ::GetWindowLongW(window, GWL_STYLE);
}

bool isTopmost(HWND window) {
  return (::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

RECT clientRectOn(HWND control, HWND window) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Stops at the thread's tooltip window: the one of the only window made.
BOOL CALLBACK findToolTips(HWND candidate, LPARAM found) {
  wchar_t className[64] = {};
  ::GetClassNameW(candidate, className, 64);
  if (::_wcsicmp(className, TOOLTIPS_CLASSW) != 0) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = candidate;
  return FALSE;
}

class Win32Form1Test : public testing::Test, protected Win32Window {};

TEST_F(Win32Form1Test, ControlsAreTheSharedListInKindCaptionPlaceAndOrder) {
  struct SystemKind {
    const wchar_t* className;
    LONG typeMask;
    LONG type;
    bool tabStop;
  };
  const auto expectedKind = [](ControlKind kind) -> SystemKind {
    switch (kind) {
      case ControlKind::PushButton:
        return {L"Button", BS_TYPEMASK, BS_PUSHBUTTON, true};
      case ControlKind::TextBox:
        return {L"Edit", ES_MULTILINE | ES_AUTOHSCROLL, ES_AUTOHSCROLL, true};
      case ControlKind::CheckBoxCaptionLeft:
        return {L"Button", BS_TYPEMASK | BS_LEFTTEXT, BS_3STATE | BS_LEFTTEXT, true};
      case ControlKind::CheckBoxCaptionRight:
        return {L"Button", BS_TYPEMASK | BS_LEFTTEXT, BS_3STATE, true};
      case ControlKind::Label:
        return {L"Static", SS_TYPEMASK | SS_NOPREFIX, SS_LEFT | SS_NOPREFIX, false};
      case ControlKind::Lamp:
        return {L"Static", SS_TYPEMASK, SS_OWNERDRAW, false};
    }
    return {};
  };
  const HWND window = form1.window();
  const int dpiX = systemDpi(LOGPIXELSX);
  const int dpiY = systemDpi(LOGPIXELSY);
  std::vector<std::string> focusable;
  for (const ControlSpec& spec : form1Controls()) {
    SCOPED_TRACE(spec.name);
    const HWND made = control(spec.name);
    const SystemKind kind = expectedKind(spec.kind);
    wchar_t className[32] = {};
    ::GetClassNameW(made, className, 32);
    EXPECT_EQ(::_wcsicmp(className, kind.className), 0);
    EXPECT_EQ(styleOf(made) & kind.typeMask, kind.type);
    EXPECT_EQ((styleOf(made) & WS_TABSTOP) != 0, kind.tabStop);
    // A lamp draws no text; its window text is its name for screen readers.
    EXPECT_EQ(textOf(made),
              windows::utf16FromUtf8Replacing(spec.kind == ControlKind::Lamp ? spec.accessibleName
                                                                             : spec.caption));
    const PixelRect expected = pixelRect(spec.rect, dpiX, dpiY);
    const RECT placed = clientRectOn(made, window);
    EXPECT_EQ((PixelRect{placed.left, placed.top, placed.right - placed.left,
                         placed.bottom - placed.top}),
              expected);
    if (spec.kind == ControlKind::TextBox) {
      EXPECT_EQ(::SendMessageW(made, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
    }
    if (kind.tabStop) {
      focusable.push_back(spec.name);
    }
  }

  // Tab moves through the controls in the list's order and comes back to Command1.
  std::map<HWND, std::string> names;
  for (const ControlSpec& spec : form1Controls()) {
    names[form1.control(spec.name)] = spec.name;
  }
  std::vector<std::string> visited;
  HWND at = control("Command1");
  do {
    visited.push_back(names[at]);
    at = ::GetNextDlgTabItem(window, at, FALSE);
  } while (at != control("Command1") && visited.size() <= focusable.size());
  EXPECT_EQ(visited, focusable);

  // tijd overlaps Label1 and lies above it.
  HWND below = control("tijd");
  while (below != nullptr && below != control("Label1")) {
    below = ::GetWindow(below, GW_HWNDNEXT);
  }
  EXPECT_EQ(below, control("Label1"));

  // A fixed size without a maximise box, the caption, and the client area at creation.
  EXPECT_EQ(textOf(window), L"Orlo - IP Monitor");
  EXPECT_EQ(styleOf(window) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, twipsToPixels(layout::kClientWidth, dpiX));
  EXPECT_EQ(client.bottom, twipsToPixels(layout::kCreationClientHeight, dpiY));
}

TEST_F(Win32Form1Test, StartPutsTheWindowOnTopBeforeItIsShownThenFocusesCommand1) {
  const struct {
    const char* stored;
    bool topmost;
  } cases[] = {{nullptr, true}, {"1", true}, {"0", false}};
  for (const auto& each : cases) {
    SCOPED_TRACE(each.stored == nullptr ? "absent" : each.stored);
    Win32Window fresh;
    if (each.stored != nullptr) {
      fresh.store.setMonitorValues({{"ontop", each.stored}});
    }
    ASSERT_TRUE(fresh.form.handlers().load());
    EXPECT_FALSE(::IsWindowVisible(fresh.form1.window()));
    EXPECT_EQ(isTopmost(fresh.form1.window()), each.topmost);
    ASSERT_TRUE(fresh.form.handlers().start());
    EXPECT_TRUE(::IsWindowVisible(fresh.form1.window()));
    EXPECT_EQ(::GetFocus(), fresh.control("Command1"));
  }
}

TEST_F(Win32Form1Test, LampsAreCirclesInTheExactColourOnTheWindowsBackground) {
  ASSERT_TRUE(form.handlers().start());
  const LampColor colors[] = {LampColor::Green, LampColor::Red, LampColor::Black};
  for (int slot = 0; slot < kSlotCount; ++slot) {
    form.setLampColor(slot, colors[slot % 3]);
  }
  ::RedrawWindow(form1.window(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  const COLORREF background = ::GetSysColor(COLOR_BTNFACE);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    SCOPED_TRACE(slot);
    const HWND lamp = control(slotControlName("Shape1", slot));
    RECT rect{};
    ::GetClientRect(lamp, &rect);
    const HDC painted = ::GetDC(lamp);
    const Rgb rgb = rgbOf(colors[slot % 3]);
    EXPECT_EQ(::GetPixel(painted, rect.right / 2, rect.bottom / 2),
              RGB(rgb.red, rgb.green, rgb.blue));
    EXPECT_EQ(::GetPixel(painted, 0, 0), background);
    EXPECT_EQ(::GetPixel(painted, rect.right - 1, rect.bottom - 1), background);
    ::ReleaseDC(lamp, painted);
  }
}

TEST_F(Win32Form1Test, Command1SetsTheClientHeightKeepingWidthAndPlace) {
  ASSERT_TRUE(form.handlers().start());
  const HWND window = form1.window();
  const int dpiY = systemDpi(LOGPIXELSY);
  RECT before{};
  ::GetWindowRect(window, &before);
  for (const int twips : {layout::kExpandedClientHeight, layout::kCollapsedClientHeight,
                          layout::kExpandedClientHeight}) {
    SCOPED_TRACE(twips);
    form.handlers().command1Click();
    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.bottom, twipsToPixels(twips, dpiY));
    EXPECT_EQ(client.right, twipsToPixels(layout::kClientWidth, systemDpi(LOGPIXELSX)));
    RECT after{};
    ::GetWindowRect(window, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
  }
}

TEST_F(Win32Form1Test, TextsAndClicksCrossBetweenTheControlsAndForm1) {
  ASSERT_TRUE(form.handlers().start());
  const HWND window = form1.window();
  // Texts, both ways, in UTF-16 on the controls; a NUL the control cannot hold stays as given
  // until the user edits the text.
  const std::string withNul("10.0.0.1\0x", 10);
  form.setAddressText(0, "h\xC3\xB4te");
  form.setIntervalText(withNul);
  EXPECT_EQ(textOf(control("Text1_0")), L"h\u00F4te");
  EXPECT_EQ(form.intervalText(), withNul);
  ::SetWindowTextW(control("Text1_0"), L"10.0.0.\u0669");
  ::SetWindowTextW(control("tijd"), L"10.0.0.1");
  EXPECT_EQ(form.addressText(0), "10.0.0.\xD9\xA9");
  EXPECT_EQ(form.intervalText(), withNul);

  // Clicks on boxes follow Form1's click rule; Check2's sets the stacking without moving.
  RECT before{};
  ::GetWindowRect(window, &before);
  form.setOnTopValue(2);
  form.setEnableValue(4, 2);
  EXPECT_FALSE(isTopmost(window));
  for (const std::int16_t expected : {std::int16_t{1}, std::int16_t{0}, std::int16_t{1}}) {
    SCOPED_TRACE(expected);
    ::SendMessageW(control("Check2"), BM_CLICK, 0, 0);
    ::SendMessageW(control("Check1_4"), BM_CLICK, 0, 0);
    EXPECT_EQ(form.onTopValue(), expected);
    EXPECT_EQ(form.enableValue(4), expected);
    EXPECT_EQ(isTopmost(window), expected == 1);
  }
  RECT after{};
  ::GetWindowRect(window, &after);
  EXPECT_TRUE(::EqualRect(&before, &after));
}

TEST_F(Win32Form1Test, AboutBoxIsOwnedByTheWindowWithCrLfLinesOkAndNoIcon) {
  ASSERT_TRUE(form.handlers().start());
  ::SendMessageW(control("Command2"), BM_CLICK, 0, 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, form1.window());
  EXPECT_EQ(boxes[0].title, L"Orlo - Monitor");
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_OK));
  // Seven lines, every line feed after a carriage return.
  const std::wstring& text = boxes[0].text;
  EXPECT_EQ(text.rfind(L"Orlo - IP Monitor v1.00\r\n\r\n", 0), 0u) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'), 6);
  EXPECT_EQ(std::count(text.begin(), text.end(), L'\r'), 6);
}

// The window's procedure in the test: notes each menu the window opens, and closes it once it
// waits for the user; a timer closes one that never says so.
constexpr wchar_t kOpenedMenus[] = L"Orlo.Test.OpenedMenus";
constexpr wchar_t kProcedure[] = L"Orlo.Test.Procedure";

LRESULT CALLBACK watchMenus(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITMENUPOPUP) {
    static_cast<std::vector<HMENU>*>(::GetPropW(window, kOpenedMenus))
        ->push_back(reinterpret_cast<HMENU>(wParam));
  } else if (message == WM_ENTERIDLE && wParam == MSGF_MENU) {
    ::EndMenu();
  }
  return ::CallWindowProcW(reinterpret_cast<WNDPROC>(::GetPropW(window, kProcedure)), window,
                           message, wParam, lParam);
}

void CALLBACK closeMenu(HWND, UINT, UINT_PTR, DWORD) {
  ::EndMenu();
}

TEST_F(Win32Form1Test, ARightClickOnTheTitleBarOpensTheSystemMenuAndInTheWindowOurs) {
  ASSERT_TRUE(form.handlers().start());
  const HWND window = form1.window();
  std::vector<HMENU> opened;
  ::SetPropW(window, kOpenedMenus, &opened);
  ::SetPropW(window, kProcedure,
             reinterpret_cast<HANDLE>(::GetWindowLongPtrW(window, GWLP_WNDPROC)));
  ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&watchMenus));
  const UINT_PTR guard = ::SetTimer(nullptr, 0, 10'000, &closeMenu);
  RECT frame{};
  ::GetWindowRect(window, &frame);
  const POINT caption{(frame.left + frame.right) / 2, frame.top + ::GetSystemMetrics(SM_CYFRAME) +
                                                          ::GetSystemMetrics(SM_CYCAPTION) / 2};
  ASSERT_EQ(::SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(caption.x, caption.y)), HTCAPTION);
  POINT client{4, 4};
  ::ClientToScreen(window, &client);
  const struct {
    const char* name;
    POINT at;
    bool systemMenu;  // else the monitor's own, the only other menu the window opens
  } cases[] = {{"the title bar", caption, true},
               {"the client area", client, false},
               {"the keyboard", {-1, -1}, false}};
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    opened.clear();
    ::SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window),
                   MAKELPARAM(each.at.x, each.at.y));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0] == ::GetSystemMenu(window, FALSE), each.systemMenu);
  }
  ::KillTimer(nullptr, guard);
  ::SetWindowLongPtrW(window, GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(::RemovePropW(window, kProcedure)));
  ::RemovePropW(window, kOpenedMenus);
}

TEST_F(Win32Form1Test, AFailedLoadShowsAnErrorBoxAloneAndNeverTheWindow) {
  store.setMonitorValues({{"ontop", "3"}});
  EXPECT_EQ(form.handlers().run(), kFailureExitStatus);
  EXPECT_FALSE(::IsWindowVisible(form1.window()));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_NE(boxes[0].text.find(L"could not load its settings"), std::wstring::npos);
}

// Sends the messages to the window from another thread, as another program does, while the
// window's thread goes on; then posts WM_APP to the window's thread. The thread is joined when the
// object ends.
class SentFromElsewhere {
 public:
  SentFromElsewhere(HWND window, std::vector<std::pair<UINT, WPARAM>> messages)
      : thread_([window, messages, target = ::GetWindowThreadProcessId(window, nullptr)] {
          for (const auto& [message, wParam] : messages) {
            DWORD_PTR result = 0;
            ::SendMessageTimeoutW(window, message, wParam, 0, SMTO_NORMAL, 10000, &result);
          }
          ::PostThreadMessageW(target, WM_APP, 0, 0);
        }) {}
  ~SentFromElsewhere() { thread_.join(); }
  SentFromElsewhere(const SentFromElsewhere&) = delete;
  SentFromElsewhere& operator=(const SentFromElsewhere&) = delete;

 private:
  std::thread thread_;
};

// With no other window of the thread, whose timer would wake the event loop.
TEST(Win32Form1CloseTest, EveryCloseFromOutsideSavesTheEditsAndEndsTheEventLoopByItself) {
  const struct {
    const char* name;
    std::vector<std::pair<UINT, WPARAM>> sent;
    int status;
  } cases[] = {
      {"WM_CLOSE from another program", {{WM_CLOSE, 0}}, 0},
      {"the end of the session", {{WM_QUERYENDSESSION, 0}, {WM_ENDSESSION, TRUE}}, 0},
      {"WM_QUIT", {}, 7},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    Win32Window fresh;
    std::optional<SentFromElsewhere> sender;
    // At the first tick, in the event loop: an edit, then the close from outside.
    fresh.echo.onStartSockets = [&] {
      if (fresh.echo.sweeps != 2) {
        return;
      }
      fresh.form.setAddressText(3, "h\xC3\xB4te 3");
      if (each.sent.empty()) {
        ::PostQuitMessage(each.status);
      } else {
        sender.emplace(fresh.form1.window(), each.sent);
      }
    };
    EXPECT_EQ(fresh.form.handlers().run(), each.status);
    sender.reset();
    EXPECT_EQ(fresh.store.monitorValue("ip3"), "h\xC3\xB4te 3");
    EXPECT_EQ(fresh.form1.window(), nullptr);
    // The loop ended as the window went, not at the next message that happened to come.
    MSG left{};
    EXPECT_EQ(::PeekMessageW(&left, nullptr, WM_APP, WM_APP, PM_REMOVE) != 0, !each.sent.empty());
  }
}

// A load that failed shows its box alone, over a window that was never shown. Whatever closes
// that window from outside meanwhile ends the box and the program, with status 1, and saves none
// of what was half loaded.
TEST(Win32Form1CloseTest, EveryCloseFromOutsideDuringAFailedLoadsBoxEndsItAndSavesNothing) {
  const struct {
    const char* name;
    std::vector<std::pair<UINT, WPARAM>> sent;
    UINT posted;
  } cases[] = {
      {"WM_CLOSE sent from another program", {{WM_CLOSE, 0}}, 0},
      {"WM_CLOSE posted", {}, WM_CLOSE},
      {"the end of the session", {{WM_QUERYENDSESSION, 0}, {WM_ENDSESSION, TRUE}}, 0},
      {"WM_QUIT", {}, WM_QUIT},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    MemorySettingsStore store;
    ScriptedEcho echo;
    store.failGetsOf("ip5");
    HWND window = nullptr;
    bool boxEndedByItself = false;
    // As MessageBoxW's own loop: the thread's messages until a WM_QUIT, which it posts again. The
    // WM_APP that follows the close from outside finds the box still shown: it would have stayed.
    const auto modalBox = [&](HWND owner, const std::wstring&, const std::wstring&, UINT) {
      EXPECT_EQ(owner, nullptr);
      std::optional<SentFromElsewhere> sender;
      if (each.sent.empty()) {
        ::PostMessageW(window, each.posted, 0, 0);
        ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0);
      } else {
        sender.emplace(window, each.sent);
      }
      MSG message{};
      BOOL got = 0;
      while ((got = ::GetMessageW(&message, nullptr, 0, 0)) > 0 && message.message != WM_APP) {
        ::DispatchMessageW(&message);
      }
      // A WM_QUIT posted before WM_APP waits behind it.
      boxEndedByItself =
          got == 0 || ::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
      if (boxEndedByItself) {
        ::PostQuitMessage(static_cast<int>(message.wParam));
      }
    };
    Form1Window form1({store, echo, "C:\\Orlo\\monitor.exe"}, modalBox);
    window = form1.window();
    EXPECT_EQ(form1.form().handlers().run(), kFailureExitStatus);
    EXPECT_TRUE(boxEndedByItself);
    EXPECT_TRUE(store.saves().empty());
    // Only a WM_QUIT from elsewhere is left, for the program's own end; WM_APP may follow.
    MSG left{};
    EXPECT_EQ(::PeekMessageW(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0,
              each.posted == WM_QUIT);
    while (::PeekMessageW(&left, nullptr, WM_APP, WM_APP, PM_REMOVE)) {
    }
  }
}

TEST_F(Win32Form1Test, TheEventLoopMovesTheFocusWithTabAndEndsWithTheWindowLeavingNoQuit) {
  const struct {
    const char* name;
    bool failCommit;
    int status;
  } cases[] = {{"saved", false, 0}, {"save failed", true, kFailureExitStatus}};
  for (const auto& each : cases) {
    SCOPED_TRACE(each.name);
    Win32Window fresh;
    if (each.failCommit) {
      fresh.store.failCommits();
    }
    // Tab, pressed during the load's sweep, is handled once the window is shown with the focus on
    // Command1. Timer1's first tick sweeps a second time; then the window is closed as the user
    // would.
    HWND focusAtTick = nullptr;
    fresh.echo.onStartSockets = [&fresh, &focusAtTick] {
      if (fresh.echo.sweeps == 1) {
        ::PostMessageW(fresh.form1.control("Command1"), WM_KEYDOWN, VK_TAB, 0);
      } else if (fresh.echo.sweeps == 2) {
        focusAtTick = ::GetFocus();
        ::PostMessageW(fresh.form1.window(), WM_CLOSE, 0, 0);
      }
    };
    EXPECT_EQ(fresh.form.handlers().run(), each.status);
    EXPECT_EQ(fresh.echo.sweeps, 2);
    EXPECT_EQ(focusAtTick, fresh.control("Text1_0"));
    EXPECT_EQ(fresh.form1.window(), nullptr);
    MSG left{};
    EXPECT_FALSE(::PeekMessageW(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    // A failed save is reported over the window, which is still shown.
    EXPECT_EQ(fresh.boxes.size(), each.failCommit ? 1u : 0u);
    if (!fresh.boxes.empty()) {
      EXPECT_NE(fresh.boxes[0].owner, nullptr);
    }
  }
}

TEST_F(Win32Form1Test, LampsTellTheOutcomeInTheirTooltipAndTheirNameToScreenReaders) {
  form.setProbeReport(0, {ProbeOutcome::Answered, 0});
  form.setProbeReport(1, {ProbeOutcome::Failed, ip_status::kTimedOut});
  HWND toolTips = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &findToolTips, reinterpret_cast<LPARAM>(&toolTips));
  ASSERT_NE(toolTips, nullptr);
  for (int slot = 0; slot < 3; ++slot) {
    SCOPED_TRACE(slot);
    const HWND lamp = control(slotControlName("Shape1", slot));
    wchar_t text[512] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = form1.window();
    tool.uId = reinterpret_cast<UINT_PTR>(lamp);
    tool.lpszText = text;
    ::SendMessageW(toolTips, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
    const std::string expected = slot == 0   ? "reply\nsince "
                                 : slot == 1 ? "no reply within 500 ms\nsince "
                                             : notCheckedYetText();
    EXPECT_EQ(std::wstring(text).rfind(windows::utf16FromUtf8Replacing(expected), 0), 0u) << text;

    IAccessible* accessible = nullptr;
    ASSERT_EQ(::AccessibleObjectFromWindow(lamp, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                           reinterpret_cast<void**>(&accessible)),
              S_OK);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    EXPECT_EQ(accessible->get_accName(self, &name), S_OK);
    EXPECT_EQ(std::wstring(name != nullptr ? name : L""), L"Host " + std::to_wstring(slot + 1));
    ::SysFreeString(name);
    accessible->Release();
  }
}

// A stand-in for the taskbar's notification area: the shell's Shell_NotifyIconW hands each icon
// to the window of class Shell_TrayWnd. Wine sends its own record of the icon (hWnd, uID,
// uFlags, uCallbackMessage, szTip[128], dwState, dwStateMask, szInfo[256], uTimeout,
// szInfoTitle[64], dwInfoFlags, guidItem, and the picture's width, height, planes and bits per
// pixel), then the picture's mask and colour bits. As a taskbar does, it refuses to modify an
// icon it does not hold, and holds none after a restart.
class NotificationArea {
 public:
  struct Received {
    DWORD message;  // NIM_ADD, NIM_MODIFY or NIM_DELETE
    UINT id;
    std::wstring tip;
    std::wstring info;
    std::wstring infoTitle;
    std::optional<std::uint32_t> upperPixel;  // 0xRRGGBB, half way from the centre to the top
  };
  std::vector<Received> received;

  NotificationArea() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &NotificationArea::procedure;
    windowClass.lpszClassName = L"Shell_TrayWnd";
    ::RegisterClassW(&windowClass);
    create();
  }
  ~NotificationArea() { ::DestroyWindow(window_); }

  // The taskbar ends and starts again, forgetting every icon and what it received.
  void restart() {
    ::DestroyWindow(window_);
    held_.clear();
    received.clear();
    create();
  }
  NotificationArea(const NotificationArea&) = delete;
  NotificationArea& operator=(const NotificationArea&) = delete;

 private:
  void create() {
    window_ =
        ::CreateWindowW(L"Shell_TrayWnd", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* area = reinterpret_cast<NotificationArea*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != WM_COPYDATA || area == nullptr) {
      return ::DefWindowProcW(window, message, wParam, lParam);
    }
    const auto* copied = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    const auto* bytes = static_cast<const std::uint8_t*>(copied->lpData);
    const auto field = [bytes](std::size_t offset) {
      std::uint32_t value = 0;
      std::memcpy(&value, bytes + offset, sizeof value);
      return value;
    };
    const auto text = [bytes](std::size_t offset) {
      return std::wstring(reinterpret_cast<const wchar_t*>(bytes + offset));
    };
    Received item{
        static_cast<DWORD>(copied->dwData), field(4), text(16), text(280), text(796), std::nullopt};
    const std::uint32_t width = field(944);
    const std::uint32_t height = field(948);
    if ((field(8) & NIF_ICON) != 0 && field(956) == 32) {
      const std::size_t maskBytes = (width * height + 15) / 16 * 2;
      item.upperPixel = field(960 + maskBytes + ((height / 4) * width + width / 2) * 4) & 0xFFFFFF;
    }
    area->received.push_back(item);
    switch (item.message) {
      case NIM_ADD:
        return area->held_.insert(item.id).second;
      case NIM_DELETE:
        return area->held_.erase(item.id) != 0;
      default:
        return area->held_.count(item.id) != 0;
    }
  }

  HWND window_ = nullptr;
  std::set<UINT> held_;
};

TEST(Win32Form1StatusTest, TheStatusIconAndTheBalloonReachTheNotificationArea) {
  NotificationArea area;
  Win32Window window;
  window.store.setMonitorValues({{"ip0", "127.0.0.1"},
                                 {"ipen0", "1"},
                                 {"ip1", "127.0.0.2"},
                                 {"ipen1", "1"},
                                 {"notify", "1"},
                                 {"refresh", "-1"}});
  window.echo.statusOf["127.0.0.1"] = ip_status::kSuccess;
  ASSERT_TRUE(window.form.handlers().start());
  // Two more ticks: the one at start-up, and one in which 127.0.0.1 stops answering. Without
  // the status icon, an icon of its own shows the balloon, and goes when the balloon does.
  window.form.handlers().timer1Tick();
  window.echo.statusOf["127.0.0.1"] = ip_status::kTimedOut;
  window.form.handlers().timer1Tick();
  ::SendMessageW(window.form1.window(), WM_APP + 1, 2, NIN_BALLOONTIMEOUT);
  ASSERT_TRUE(window.form.contextMenu()[0].enabled);
  window.form.toggle(WatchOption::StatusIcon);
  ::SendMessageW(window.form1.window(), WM_CLOSE, 0, 0);

  ASSERT_EQ(area.received.size(), 5u);
  EXPECT_EQ(area.received[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(area.received[0].upperPixel, 0xFF0000u);  // the sweep's state, not the grey ring
  EXPECT_EQ(area.received[1].id, area.received[0].id);
  EXPECT_EQ(area.received[1].infoTitle, L"Orlo - IP Monitor");
  EXPECT_EQ(area.received[1].info, L"\u2068127.0.0.1\u2069 (host 1) stopped answering.");
  EXPECT_EQ(area.received[2].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(area.received[2].id, area.received[0].id);
  EXPECT_EQ(area.received[3].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(area.received[3].tip,
            L"Orlo - IP Monitor: 0 of 2 watched hosts answer; no reply: "
            L"\u2068127.0.0.1\u2069 (host 1), \u2068127.0.0.2\u2069 (host 2)");
  EXPECT_EQ(area.received[3].upperPixel, 0xFF0000u);
  EXPECT_EQ(area.received[4].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_EQ(area.received[4].id, area.received[3].id);
}

// Starts the window watching 127.0.0.1, which answers, with the options stored, and sweeps once
// more, so that what the next sweep changes is news.
void startWatchingLoopback(Win32Window& window, std::map<std::string, std::string> options) {
  options.insert({{"ip0", "127.0.0.1"}, {"ipen0", "1"}, {"refresh", "-1"}});
  window.store.setMonitorValues(options);
  window.echo.statusOf["127.0.0.1"] = ip_status::kSuccess;
  ASSERT_TRUE(window.form.handlers().start());
  window.form.handlers().timer1Tick();
}

TEST(Win32Form1StatusTest, TheStatusIconComesBackToATaskbarThatStartedAgain) {
  NotificationArea area;
  Win32Window window;
  startWatchingLoopback(window, {{"tray", "1"}});
  ASSERT_FALSE(area.received.empty());
  const std::wstring tip = area.received.back().tip;

  // A taskbar that says it has started gets the icon at once, as it was.
  area.restart();
  ::SendMessageW(window.form1.window(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  ASSERT_EQ(area.received.size(), 1u);
  EXPECT_EQ(area.received[0].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(area.received[0].tip, tip);
  EXPECT_EQ(area.received[0].upperPixel, 0x00FF00u);

  // One that says nothing refuses the next change, and is given the icon anew.
  area.restart();
  window.echo.statusOf["127.0.0.1"] = ip_status::kTimedOut;
  window.form.handlers().timer1Tick();
  ASSERT_EQ(area.received.size(), 2u);
  EXPECT_EQ(area.received[0].message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(area.received[1].message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(area.received[1].upperPixel, 0xFF0000u);
  EXPECT_NE(area.received[1].tip, tip);
}

// The balloon's own icon goes on a timer of its own, where the shell never says that the balloon
// ended, or when the status icon comes, which then shows the balloons.
TEST(Win32Form1StatusTest, TheBalloonsOwnIconGoesOnItsTimerOrForTheStatusIcon) {
  constexpr WPARAM kBalloonIconTimer = 2;
  for (const bool statusIconComes : {false, true}) {
    SCOPED_TRACE(statusIconComes ? "the status icon comes" : "the timer");
    NotificationArea area;
    Win32Window window;
    startWatchingLoopback(window, {{"notify", "1"}});
    window.echo.statusOf["127.0.0.1"] = ip_status::kTimedOut;
    window.form.handlers().timer1Tick();
    ASSERT_EQ(area.received.size(), 2u);
    const UINT balloonIcon = area.received[0].id;
    if (statusIconComes) {
      window.form.toggle(WatchOption::StatusIcon);
    } else {
      ::SendMessageW(window.form1.window(), WM_TIMER, kBalloonIconTimer, 0);
    }
    ASSERT_EQ(area.received.size(), statusIconComes ? 4u : 3u);
    EXPECT_EQ(area.received[2].message, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(area.received[2].id, balloonIcon);

    // The next balloon, when the host answers again: from the status icon where it is shown;
    // otherwise from an icon of its own again, green this time.
    area.received.clear();
    window.echo.statusOf["127.0.0.1"] = ip_status::kSuccess;
    window.form.handlers().timer1Tick();
    ASSERT_TRUE(std::any_of(area.received.begin(), area.received.end(),
                            [](const auto& item) { return !item.info.empty(); }));
    for (const auto& item : area.received) {
      EXPECT_EQ(item.id == balloonIcon, !statusIconComes);
    }
    if (!statusIconComes) {
      EXPECT_EQ(area.received[0].upperPixel, 0x00FF00u);
    }
  }
}

}  // namespace

}  // namespace orlo
