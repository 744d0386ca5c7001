#include <gtest/gtest.h>

#include "core/memory_monitor_view.h"
#include "tests/support/monitor_view_contract.h"

namespace orlo {
namespace {

TEST(LampColorValues, ColourWordsAndRgbAgree) {
  EXPECT_EQ(static_cast<std::uint32_t>(LampColor::Green), 0x00FF00u);
  EXPECT_EQ(static_cast<std::uint32_t>(LampColor::Red), 0x0000FFu);
  EXPECT_EQ(static_cast<std::uint32_t>(LampColor::Black), 0u);
  EXPECT_EQ(rgbOf(LampColor::Green), (Rgb{0, 255, 0}));
  EXPECT_EQ(rgbOf(LampColor::Red), (Rgb{255, 0, 0}));
  EXPECT_EQ(rgbOf(LampColor::Black), (Rgb{0, 0, 0}));
}

}  // namespace

namespace testing_support {

struct MemoryViewSubject {
  MemoryMonitorView memory;
  MonitorView& view() { return memory; }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, MonitorViewContract, MemoryViewSubject);

}  // namespace testing_support
}  // namespace orlo
