// What only the Linux program decides before Qt starts: the Qt platform, whether the X display
// is tried first, and whether the platform keeps windows on top.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/linux/qt_platform.h"

namespace orlo {
namespace {

TEST(PreferredPlatformTest, X11IsPreferredOnlyWhenBothDisplaysAreThereAndNoneWasPicked) {
  using Value = std::optional<std::string>;
  const struct {
    Value qpa;
    Value wayland;
    Value display;
    Value expected;
  } cases[] = {
      {std::nullopt, "wayland-0", ":0", "xcb;wayland"},
      {"", "wayland-0", ":0", "xcb;wayland"},
      {"wayland", "wayland-0", ":0", std::nullopt},
      {"offscreen", "wayland-0", ":0", std::nullopt},
      {std::nullopt, "wayland-0", std::nullopt, std::nullopt},
      {std::nullopt, "wayland-0", "", std::nullopt},
      {std::nullopt, std::nullopt, ":0", std::nullopt},
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.qpa.value_or("<unset>") + " " + each.wayland.value_or("<unset>") + " " +
                 each.display.value_or("<unset>"));
    EXPECT_EQ(preferredPlatform(each.qpa, each.wayland, each.display), each.expected);
  }
}

TEST(PreferredPlatformTest, OnlyDesktopsThatHonourStayOnTopClaimIt) {
  EXPECT_TRUE(platformKeepsWindowsOnTop(QStringLiteral("xcb")));
  EXPECT_TRUE(platformKeepsWindowsOnTop(QStringLiteral("offscreen")));
  EXPECT_FALSE(platformKeepsWindowsOnTop(QStringLiteral("wayland")));
  EXPECT_FALSE(platformKeepsWindowsOnTop(QStringLiteral("wayland-egl")));
  EXPECT_FALSE(platformKeepsWindowsOnTop(QStringLiteral("eglfs")));
}

TEST(DisplayCheckTest, OnlyWhereX11IsTheOnePlatformQtMayUse) {
  using Text = std::optional<std::string>;
  const struct {
    Text qpaPlatform;
    Text waylandDisplay;
    std::vector<std::string> arguments;
    bool check;
  } cases[] = {
      {std::nullopt, std::nullopt, {}, true},
      {std::nullopt, "", {}, true},
      {"xcb", "wayland-0", {}, true},
      {std::nullopt, "wayland-0", {}, false},
      {"xcb;wayland", "wayland-0", {}, false},
      {"offscreen", std::nullopt, {}, false},
      {std::nullopt, std::nullopt, {"-platform", "offscreen"}, false},
      {std::nullopt, std::nullopt, {"--display", ":1"}, false},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.qpaPlatform.value_or("<unset>") + " " +
                 each.waylandDisplay.value_or("<unset>"));
    EXPECT_EQ(needsX11DisplayCheck(each.qpaPlatform, each.waylandDisplay, each.arguments),
              each.check);
  }
}

}  // namespace
}  // namespace orlo
