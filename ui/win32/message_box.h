#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/window_texts.h"

namespace orlo {

// The call that shows a modal message box, with the parameters of MessageBoxW: the owner window
// (none for a box that stands alone), the text, the title and the style flags. The window shows
// its boxes through one, so that a test can see what it asks for without a user to dismiss it.
using MessageBoxCall = std::function<void(HWND owner, const std::wstring& text,
                                          const std::wstring& title, UINT style)>;

// MessageBoxW itself. A box that the system cannot show is not shown: a message box is the only
// place where the program reports anything.
void systemMessageBox(HWND owner, const std::wstring& text, const std::wstring& title, UINT style);

// Shows the content through the call: its lines joined by CR LF, an OK button only, and the error
// icon for a failure; no icon otherwise.
void showMessageBox(const MessageBoxCall& call, HWND owner, const MessageBoxContent& content);

}  // namespace orlo
