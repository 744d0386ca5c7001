#include "core/memory_monitor_view.h"

namespace orlo {

const MemoryMonitorView::Slot& MemoryMonitorView::slot(int index) const {
  checkSlotIndex(index);
  return slots_[static_cast<std::size_t>(index)];
}

MemoryMonitorView::Slot& MemoryMonitorView::slot(int index) {
  checkSlotIndex(index);
  return slots_[static_cast<std::size_t>(index)];
}

std::string MemoryMonitorView::addressText(int index) const {
  return slot(index).address;
}

void MemoryMonitorView::setAddressText(int index, const std::string& text) {
  slot(index).address = text;
}

std::int16_t MemoryMonitorView::enableValue(int index) const {
  return slot(index).enable;
}

void MemoryMonitorView::setEnableValue(int index, std::int16_t value) {
  Slot& target = slot(index);
  checkBoxValue(value);
  target.enable = value;
}

LampColor MemoryMonitorView::lampColor(int index) const {
  return slot(index).lamp;
}

void MemoryMonitorView::setLampColor(int index, LampColor color) {
  slot(index).lamp = color;
}

std::string MemoryMonitorView::intervalText() const {
  return interval_;
}

void MemoryMonitorView::setIntervalText(const std::string& text) {
  interval_ = text;
}

std::int16_t MemoryMonitorView::onTopValue() const {
  return onTop_;
}

void MemoryMonitorView::setOnTopValue(std::int16_t value) {
  checkBoxValue(value);
  onTop_ = value;
}

void MemoryMonitorView::setProbeReport(int index, const ProbeReport& report) {
  slot(index).report = report;
}

ProbeReport MemoryMonitorView::probeReport(int index) const {
  return slot(index).report;
}

}  // namespace orlo
