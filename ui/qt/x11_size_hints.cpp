#include "ui/qt/x11_size_hints.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace orlo {
namespace {

// WM_NORMAL_HINTS (WM_SIZE_HINTS): 18 32-bit fields, the first the flags.
constexpr std::uint32_t kFieldCount = 18;
constexpr std::uint32_t kResizeIncrementFlag = 1U << 6;
constexpr std::size_t kMinWidth = 5;
constexpr std::size_t kMinHeight = 6;
constexpr std::size_t kWidthIncrement = 9;
constexpr std::size_t kHeightIncrement = 10;

}  // namespace

void keepExactX11Size(QWidget& window) {
  // Other platforms may offer the X11 interface too, without a connection (offscreen does).
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  const QWindow* native = window.windowHandle();
  xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
  if (connection == nullptr || native == nullptr) {
    return;
  }
  // The native window's own id: the widget's may name one that a change of flags replaced.
  const auto id = static_cast<xcb_window_t>(native->winId());
  const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(connection,
                             xcb_get_property(connection, 0, id, XCB_ATOM_WM_NORMAL_HINTS,
                                              XCB_ATOM_WM_SIZE_HINTS, 0, kFieldCount),
                             nullptr),
      &std::free);
  if (!reply || reply->format != 32 ||
      xcb_get_property_value_length(reply.get()) < static_cast<int>(kFieldCount * 4)) {
    return;
  }
  std::array<std::uint32_t, kFieldCount> hints{};
  std::memcpy(hints.data(), xcb_get_property_value(reply.get()), sizeof hints);
  if ((hints[0] & kResizeIncrementFlag) == 0 ||
      (hints[kWidthIncrement] <= 1 && hints[kHeightIncrement] <= 1)) {
    return;
  }
  hints[0] &= ~kResizeIncrementFlag;
  hints[kWidthIncrement] = 0;
  hints[kHeightIncrement] = 0;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NORMAL_HINTS,
                      XCB_ATOM_WM_SIZE_HINTS, 32, kFieldCount, hints.data());
  const std::array<std::uint32_t, 2> size{hints[kMinWidth], hints[kMinHeight]};
  xcb_configure_window(connection, id, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                       size.data());
  xcb_flush(connection);
}

}  // namespace orlo
