// What only the Linux program decides before Qt starts: the Qt platform, whether a display of it
// opens, and whether the platform keeps windows on top.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/linux/qt_platform.h"
#include "core/unique_fd.h"

namespace orlo {
namespace {

TEST(PreferredPlatformTest, X11FirstWhereBothDisplaysAreThereWaylandAloneAndNeverOverAChoice) {
  using Value = std::optional<std::string>;
  const struct {
    Value qpa;
    Value wayland;
    Value display;
    Value expected;
  } cases[] = {
      {std::nullopt, "wayland-0", ":0", "xcb;wayland"},
      {"", "wayland-0", ":0", "xcb;wayland"},
      {std::nullopt, "wayland-0", std::nullopt, "wayland"},
      {std::nullopt, "wayland-0", "", "wayland"},
      {"wayland", "wayland-0", ":0", std::nullopt},
      {"offscreen", "wayland-0", ":0", std::nullopt},
      {std::nullopt, std::nullopt, ":0", std::nullopt},
      {std::nullopt, "", std::nullopt, std::nullopt},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(each.qpa.value_or("<unset>") + " " + each.wayland.value_or("<unset>") + " " +
                 each.display.value_or("<unset>"));
    EXPECT_EQ(preferredPlatform({each.qpa, each.wayland, each.display, "/run/user/1000", {}}),
              each.expected);
  }
}

TEST(PreferredPlatformTest, OnlyDesktopsThatHonourStayOnTopClaimIt) {
  EXPECT_TRUE(platformKeepsWindowsOnTop(QStringLiteral("xcb")));
  EXPECT_TRUE(platformKeepsWindowsOnTop(QStringLiteral("offscreen")));
  EXPECT_FALSE(platformKeepsWindowsOnTop(QStringLiteral("wayland")));
  EXPECT_FALSE(platformKeepsWindowsOnTop(QStringLiteral("wayland-egl")));
  EXPECT_FALSE(platformKeepsWindowsOnTop(QStringLiteral("eglfs")));
}

// A Wayland display that answers: a socket that accepts connections, in a folder of its own.
class ListeningSocket {
 public:
  ListeningSocket() {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = folder_ + "/wayland-test";
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    EXPECT_EQ(::listen(fd_.get(), 1), 0) << path;
  }
  ~ListeningSocket() { std::filesystem::remove_all(folder_); }
  ListeningSocket(const ListeningSocket&) = delete;
  ListeningSocket& operator=(const ListeningSocket&) = delete;
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_ = [] {
    std::string name = std::filesystem::temp_directory_path() / "orlo-wayland-XXXXXX";
    return std::string(::mkdtemp(name.data()));
  }();
  UniqueFd fd_{::socket(AF_UNIX, SOCK_STREAM, 0)};
};

TEST(DisplayProblemTest, OneLineWhenNoDisplayOfThePlatformsQtMayUseOpens) {
  const ListeningSocket compositor;
  using Text = std::optional<std::string>;
  const Text runtime = compositor.folder();
  const struct {
    DisplayEnvironment environment;
    std::vector<std::string> words;  // none: a display opens, or the choice is Qt's
  } cases[] = {
      {{std::nullopt, std::nullopt, std::nullopt, runtime, {}}, {"DISPLAY is not set"}},
      {{"xcb;wayland", "wayland-9", ":9999", runtime, {}},
       {"X display \":9999\"", "Wayland display \"wayland-9\"", "No such file"}},
      {{"wayland", "wayland-9", std::nullopt, std::nullopt, {}}, {"XDG_RUNTIME_DIR is not set"}},
      {{"wayland", "wayland-test", std::nullopt, runtime, {}}, {}},
      {{"xcb;wayland", "wayland-test", ":9999", runtime, {}}, {}},
      {{"wayland", *runtime + "/wayland-test", std::nullopt, std::nullopt, {}}, {}},
      {{"offscreen", std::nullopt, std::nullopt, std::nullopt, {}}, {}},
      {{std::nullopt, std::nullopt, std::nullopt, std::nullopt, {"-platform", "offscreen"}}, {}},
  };
  for (const auto& each : cases) {
    const std::optional<std::string> problem = displayProblem(each.environment);
    SCOPED_TRACE(problem.value_or("<none>"));
    ASSERT_EQ(problem.has_value(), !each.words.empty());
    if (problem) {
      EXPECT_EQ(problem->rfind("Orlo - IP Monitor needs a graphical session: ", 0), 0u);
      EXPECT_EQ(problem->find('\n'), std::string::npos);
    }
    for (const std::string& words : each.words) {
      EXPECT_NE(problem->find(words), std::string::npos) << words;
    }
  }
}

}  // namespace
}  // namespace orlo
