#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "ui/status_texts.h"

namespace orlo {

// The window's icons in the taskbar's notification area: the status icon, and an icon of the
// balloons' own for while the status icon is off. Pictures come from statusIconImage(), one per
// state, made once and kept while the icons live.
//
// Nothing here waits for the taskbar. An icon that the taskbar no longer knows (it has restarted,
// or it started after the program) is added again: at once when the taskbar says it has started
// (the TaskbarCreated message), and otherwise at the next change, when modifying it fails.
//
// A balloon shows from the status icon while that is on. Otherwise its own icon shows it, with
// the picture of the state of the sweep the balloon reports, and goes when the balloon ends or
// after kBalloonIconMs, whichever comes first, since some shells never say that a balloon ended;
// it goes too when the status icon comes, so that the two never stand side by side.
class NotificationAreaIcons {
 public:
  // How long the balloon's own icon stays at most.
  static constexpr UINT kBalloonIconMs = 10'000;

  // What a click on an icon asks of the window.
  enum class Request { None, ShowWindow, ContextMenu };

  // The icons of the window, whose procedure hands its messages to handle(): the icons' events
  // come as callbackMessage, and the balloon's icon times out on the window's timer timerId.
  NotificationAreaIcons(HWND window, UINT callbackMessage, UINT_PTR timerId);
  // Removes the icons.
  ~NotificationAreaIcons();
  NotificationAreaIcons(const NotificationAreaIcons&) = delete;
  NotificationAreaIcons& operator=(const NotificationAreaIcons&) = delete;

  // Whether the desktop has a taskbar to show icons in now.
  static bool exists();
  // The lengths of the shell's fixed text fields.
  static StatusTextLimits textLimits();

  void showStatus(const StatusIcon& icon);
  void hideStatus();
  void notify(const std::string& title, const std::string& text, StatusState state);

  // The window's message, when it is one of the icons' (their events, the taskbar's start, the
  // balloon icon's timer): handled, with what it asks of the window. Nothing for any other.
  std::optional<Request> handle(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  enum Id : UINT { kStatus = 1, kBalloon = 2 };
  struct Icon {
    bool wanted = false;  // shown, as far as the program is concerned
    bool added = false;   // the taskbar has taken it
    StatusState state = StatusState::NothingWatched;
    std::wstring tip;
  };

  Icon& icon(UINT id) { return id == kStatus ? status_ : balloon_; }
  NOTIFYICONDATAW iconData(UINT id);
  bool put(UINT id);
  void remove(UINT id);
  HICON picture(StatusState state);

  const HWND window_;
  const UINT callbackMessage_;
  const UINT_PTR timerId_;
  const UINT taskbarCreated_;
  Icon status_;
  Icon balloon_;
  std::array<HICON, 3> pictures_{};  // by StatusState
};

}  // namespace orlo
