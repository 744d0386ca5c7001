#include "ui/win32/notification_area.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/windows_text.h"
#include "ui/status_watch.h"

namespace orlo {
namespace {

// Copies the text into a fixed field of the shell's. The shared code cuts every text to
// textLimits() already; a text that does not fit all the same ends before a whole character,
// never in half of a surrogate pair.
template <std::size_t N>
void copyField(wchar_t (&field)[N], const std::wstring& text) {
  std::size_t length = std::min(text.size(), N - 1);
  if (length < text.size() && length > 0 && IS_HIGH_SURROGATE(text[length - 1])) {
    --length;
  }
  std::copy_n(text.begin(), length, field);
  field[length] = L'\0';
}

// The status icon's picture at the size of the notification area's icons, from its pixels.
HICON createPicture(StatusState state) {
  const int size = ::GetSystemMetrics(SM_CXSMICON);
  const std::vector<std::uint32_t> pixels = statusIconImage(state, size);
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof header;
  header.bV5Width = size;
  header.bV5Height = -size;  // top row first, as the pixels come
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  const HBITMAP colour = ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&header),
                                            DIB_RGB_COLORS, &bits, nullptr, 0);
  if (colour == nullptr) {
    return nullptr;
  }
  std::copy(pixels.begin(), pixels.end(), static_cast<std::uint32_t*>(bits));
  // With an alpha channel in the colour, the mask is not looked at.
  const HBITMAP mask = ::CreateBitmap(size, size, 1, 1, nullptr);
  ICONINFO info{TRUE, 0, 0, mask, colour};
  const HICON icon = ::CreateIconIndirect(&info);
  ::DeleteObject(mask);
  ::DeleteObject(colour);
  return icon;
}

}  // namespace

NotificationAreaIcons::NotificationAreaIcons(HWND window, UINT callbackMessage, UINT_PTR timerId)
    : window_(window),
      callbackMessage_(callbackMessage),
      timerId_(timerId),
      taskbarCreated_(::RegisterWindowMessageW(L"TaskbarCreated")) {}

NotificationAreaIcons::~NotificationAreaIcons() {
  remove(kBalloon);
  remove(kStatus);
  for (const HICON picture : pictures_) {
    if (picture != nullptr) {
      ::DestroyIcon(picture);
    }
  }
}

bool NotificationAreaIcons::exists() {
  // The taskbar's window holds the notification area. Finding it by class sends it nothing.
  return ::FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
}

StatusTextLimits NotificationAreaIcons::textLimits() {
  // The shell's fixed fields, less their terminating NUL.
  return {std::size(NOTIFYICONDATAW{}.szTip) - 1, std::size(NOTIFYICONDATAW{}.szInfoTitle) - 1,
          std::size(NOTIFYICONDATAW{}.szInfo) - 1};
}

void NotificationAreaIcons::showStatus(const StatusIcon& shown) {
  remove(kBalloon);
  status_.wanted = true;
  status_.state = shown.state;
  status_.tip = windows::utf16FromUtf8Replacing(shown.hoverText);
  put(kStatus);
}

void NotificationAreaIcons::hideStatus() {
  remove(kStatus);
}

void NotificationAreaIcons::notify(const std::string& title, const std::string& text,
                                   StatusState state) {
  const UINT id = status_.wanted ? kStatus : kBalloon;
  if (id == kBalloon) {
    balloon_.wanted = true;
    balloon_.state = state;
    balloon_.tip = windows::utf16FromUtf8Replacing(title);
    put(kBalloon);
    // Set again, the timer counts afresh.
    ::SetTimer(window_, timerId_, kBalloonIconMs, nullptr);
  }
  NOTIFYICONDATAW data = iconData(id);
  data.uFlags = NIF_INFO;
  data.dwInfoFlags = NIIF_INFO;
  copyField(data.szInfoTitle, windows::utf16FromUtf8Replacing(title));
  copyField(data.szInfo, windows::utf16FromUtf8Replacing(text));
  // An icon that the taskbar no longer knows is added again, and the balloon tried once more.
  if (!::Shell_NotifyIconW(NIM_MODIFY, &data) && id == kStatus && put(kStatus)) {
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
  }
}

std::optional<NotificationAreaIcons::Request> NotificationAreaIcons::handle(UINT message,
                                                                            WPARAM wParam,
                                                                            LPARAM lParam) {
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    // A taskbar that has just started holds none of the icons: each one shown is added anew, as
    // it is now.
    for (const UINT id : {kStatus, kBalloon}) {
      if (icon(id).wanted) {
        icon(id).added = false;
        put(id);
      }
    }
    return Request::None;
  }
  if (message == WM_TIMER && wParam == timerId_) {
    remove(kBalloon);
    return Request::None;
  }
  if (message != callbackMessage_) {
    return std::nullopt;
  }
  switch (static_cast<UINT>(lParam)) {
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
      return Request::ShowWindow;
    case WM_RBUTTONUP:
      return Request::ContextMenu;
    case NIN_BALLOONHIDE:
    case NIN_BALLOONTIMEOUT:
    case NIN_BALLOONUSERCLICK:
      if (wParam == kBalloon) {
        remove(kBalloon);
      }
      return Request::None;
    default:
      return Request::None;
  }
}

NOTIFYICONDATAW NotificationAreaIcons::iconData(UINT id) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = id;
  return data;
}

// Shows the icon as it is now. Returns whether the taskbar took it.
bool NotificationAreaIcons::put(UINT id) {
  Icon& shown = icon(id);
  NOTIFYICONDATAW data = iconData(id);
  data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
  data.uCallbackMessage = callbackMessage_;
  data.hIcon = picture(shown.state);
  copyField(data.szTip, shown.tip);
  // Modifying an icon fails where the taskbar no longer knows it, and adding one where it knows
  // it still: whichever fits what was last seen comes first, the other second.
  const DWORD first = shown.added ? NIM_MODIFY : NIM_ADD;
  const DWORD second = shown.added ? NIM_ADD : NIM_MODIFY;
  shown.added = ::Shell_NotifyIconW(first, &data) || ::Shell_NotifyIconW(second, &data);
  return shown.added;
}

void NotificationAreaIcons::remove(UINT id) {
  Icon& shown = icon(id);
  if (!shown.wanted) {
    return;
  }
  if (id == kBalloon) {
    ::KillTimer(window_, timerId_);
  }
  NOTIFYICONDATAW data = iconData(id);
  ::Shell_NotifyIconW(NIM_DELETE, &data);
  shown = {};
}

HICON NotificationAreaIcons::picture(StatusState state) {
  HICON& made = pictures_[static_cast<std::size_t>(state)];
  if (made == nullptr) {
    // The shell keeps a copy of its own: one picture per state serves every change.
    made = createPicture(state);
  }
  return made;
}

}  // namespace orlo
