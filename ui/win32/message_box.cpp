#include "ui/win32/message_box.h"

#include "ui/win32/screen_text.h"

namespace orlo {

void systemMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT style) {
  ::MessageBoxW(owner, text.c_str(), title.c_str(), style);
}

void showMessageBox(const MessageBoxCall& call, HWND owner, const MessageBoxContent& content) {
  const UINT icon = content.icon == MessageIcon::Failure ? MB_ICONERROR : 0;
  call(owner, screenText(content.text("\r\n")), screenText(content.title), MB_OK | icon);
}

}  // namespace orlo
