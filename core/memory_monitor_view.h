#pragma once

#include <array>

#include "core/monitor_view.h"

namespace orlo {

// A MonitorView that only stores its values. It starts as the window does: every text empty,
// every box 0, every lamp black. Changing the on-top value runs nothing.
class MemoryMonitorView : public MonitorView {
 public:
  std::string addressText(int slot) const override;
  void setAddressText(int slot, const std::string& text) override;
  std::int16_t enableValue(int slot) const override;
  void setEnableValue(int slot, std::int16_t value) override;
  LampColor lampColor(int slot) const override;
  void setLampColor(int slot, LampColor color) override;
  std::string intervalText() const override;
  void setIntervalText(const std::string& text) override;
  std::int16_t onTopValue() const override;
  void setOnTopValue(std::int16_t value) override;
  void setProbeReport(int slot, const ProbeReport& report) override;

  ProbeReport probeReport(int slot) const;

 private:
  struct Slot {
    std::string address;
    std::int16_t enable = 0;
    LampColor lamp = LampColor::Black;
    ProbeReport report;
  };
  std::array<Slot, kSlotCount> slots_{};
  std::string interval_;
  std::int16_t onTop_ = 0;

  const Slot& slot(int index) const;
  Slot& slot(int index);
};

}  // namespace orlo
