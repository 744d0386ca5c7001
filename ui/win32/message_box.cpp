#include "ui/win32/message_box.h"

#include "core/windows_text.h"

namespace orlo {

void systemMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT style) {
  ::MessageBoxW(owner, text.c_str(), title.c_str(), style);
}

void showMessageBox(const MessageBoxCall& call, HWND owner, const MessageBoxContent& content) {
  const UINT icon = content.icon == MessageIcon::Failure ? MB_ICONERROR : 0;
  call(owner, windows::utf16FromUtf8Replacing(content.text("\r\n")),
       windows::utf16FromUtf8Replacing(content.title), MB_OK | icon);
}

}  // namespace orlo
