#include "core/monitor_view.h"

namespace orlo {

InvalidBoxValue::InvalidBoxValue(std::int16_t value)
    : std::invalid_argument("box value " + std::to_string(value) + " is not 0, 1 or 2"),
      value_(value) {}

InvalidSlotIndex::InvalidSlotIndex(int slot)
    : std::out_of_range("slot index " + std::to_string(slot) + " is not 0 to 9") {}

void checkSlotIndex(int slot) {
  if (slot < 0 || slot >= kSlotCount) {
    throw InvalidSlotIndex(slot);
  }
}

void checkBoxValue(std::int16_t value) {
  if (!isBoxValue(value)) {
    throw InvalidBoxValue(value);
  }
}

}  // namespace orlo
