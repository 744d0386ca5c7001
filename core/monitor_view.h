#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/echo_probe.h"

namespace orlo {

// The monitor always watches exactly this many host slots, indexed 0 to 9.
inline constexpr int kSlotCount = 10;

// Lamp colours as 24-bit colour words with red in the low byte.
enum class LampColor : std::uint32_t {
  Green = 0x00FF00,
  Red = 0x0000FF,
  Black = 0x000000,
};

struct Rgb {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

constexpr Rgb rgbOf(LampColor color) {
  const auto word = static_cast<std::uint32_t>(color);
  return Rgb{static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>((word >> 8) & 0xFF),
             static_cast<std::uint8_t>((word >> 16) & 0xFF)};
}

// What a sweep found for one slot, in more detail than the lamp's colour.
enum class ProbeOutcome {
  NotWatched,    // the slot's box is not 1: no probe was sent
  Answered,      // status 0: an echo reply came back
  Failed,        // the request went out and the status says why it failed
  NotAnAddress,  // status -1: the address text does not parse
  NoSocket,      // status -1: no ICMP socket could be opened; the report says why
  ProbeError,    // the probe itself failed to run
};

struct ProbeReport {
  ProbeOutcome outcome = ProbeOutcome::NotWatched;
  std::int32_t status = 0;
  // For NoSocket: why no socket opened, in the probe's words.
  UnusableReason unusable = UnusableReason::None;
  // The system's own words: for NoSocket with OtherError, and for Failed when the status is a
  // system error number rather than an IP status.
  std::string systemError{};
  // For Answered: the round trip time the reply record gives.
  std::optional<std::uint32_t> roundTripMs{};
  friend bool operator==(const ProbeReport&, const ProbeReport&) = default;
};

// A box (tick box) value outside 0, 1 and 2 was given to setEnableValue or setOnTopValue.
class InvalidBoxValue : public std::invalid_argument {
 public:
  explicit InvalidBoxValue(std::int16_t value);
  std::int16_t value() const { return value_; }

 private:
  std::int16_t value_;
};

// A slot index outside 0..9 was used.
class InvalidSlotIndex : public std::out_of_range {
 public:
  explicit InvalidSlotIndex(int slot);
};

// Box values: 0 unchecked, 1 checked, 2 greyed.
constexpr bool isBoxValue(std::int16_t value) {
  return value >= 0 && value <= 2;
}

// The monitor's visible state: ten slots (address text, enable box, lamp), the refresh
// interval text and the always-on-top box. The window implements it over its controls; the
// sweep, the schedule and the settings reach the state only through this interface.
// Texts are UTF-8. Every operation throws InvalidSlotIndex for a slot outside 0..9.
class MonitorView {
 public:
  virtual ~MonitorView() = default;

  virtual std::string addressText(int slot) const = 0;
  virtual void setAddressText(int slot, const std::string& text) = 0;

  virtual std::int16_t enableValue(int slot) const = 0;
  // Throws InvalidBoxValue unless the value is 0, 1 or 2.
  virtual void setEnableValue(int slot, std::int16_t value) = 0;

  virtual LampColor lampColor(int slot) const = 0;
  virtual void setLampColor(int slot, LampColor color) = 0;

  virtual std::string intervalText() const = 0;
  virtual void setIntervalText(const std::string& text) = 0;

  virtual std::int16_t onTopValue() const = 0;
  // Throws InvalidBoxValue unless the value is 0, 1 or 2. A different value runs the
  // always-on-top command at once; the same value does nothing.
  virtual void setOnTopValue(std::int16_t value) = 0;

  // The sweep reports each slot here just before it paints the slot's lamp.
  virtual void setProbeReport(int slot, const ProbeReport& report) = 0;
};

// Throws InvalidSlotIndex unless 0 <= slot < kSlotCount.
void checkSlotIndex(int slot);
// Throws InvalidBoxValue unless the value is 0, 1 or 2.
void checkBoxValue(std::int16_t value);

}  // namespace orlo
