#include "settings/settings_sequences.h"

#include <string>

#include "core/integer_text.h"
#include "settings/message_text.h"

namespace orlo {
namespace {

constexpr char kAddressPrefix[] = "ip";
constexpr char kEnablePrefix[] = "ipen";
constexpr char kRefreshKey[] = "refresh";
constexpr char kOnTopKey[] = "ontop";
constexpr char kRefreshDefault[] = "5";
constexpr char kOnTopDefault[] = "1";
// Only this exact text ticks a slot's box; "01", "true" or " 1" leave it unticked.
constexpr char kEnabledText[] = "1";

// "ip" and 0 give ip0: the slot index in decimal, one digit.
std::string slotKey(const char* prefix, int slot) {
  return prefix + std::to_string(slot);
}

std::string get(SettingsStore& store, const std::string& key, const std::string& defaultValue) {
  return store.get(kSettingsApplication, kSettingsSection, key, defaultValue);
}

void save(SettingsStore& store, const std::string& key, const std::string& value) {
  store.save(kSettingsApplication, kSettingsSection, key, value);
}

[[noreturn]] void throwUnusableOnTop(const SettingsStore& store, const std::string& text,
                                     const char* problem) {
  throw SettingsError("The setting \"" + std::string(kOnTopKey) + "\" in " +
                      store.location(kSettingsSection) + " holds " + quotedForMessage(text) +
                      ", which " + problem +
                      ". Change it to 0, 1 or 2, or delete it to use the default.");
}

std::int16_t onTopValueOf(const SettingsStore& store, const std::string& text) {
  const std::optional<std::int16_t> value = textToInt16(text);
  if (!value) {
    throwUnusableOnTop(store, text, "is not a number from -32768 to 32767");
  }
  if (!isBoxValue(*value)) {
    throwUnusableOnTop(store, text, "is not 0, 1 or 2");
  }
  return *value;
}

}  // namespace

void loadSettings(MonitorView& view, SettingsStore& store) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    view.setAddressText(slot, get(store, slotKey(kAddressPrefix, slot), ""));
    if (get(store, slotKey(kEnablePrefix, slot), "") == kEnabledText) {
      view.setEnableValue(slot, 1);
    }
  }
  view.setIntervalText(get(store, kRefreshKey, kRefreshDefault));
  view.setOnTopValue(onTopValueOf(store, get(store, kOnTopKey, kOnTopDefault)));
}

void saveSettings(const MonitorView& view, SettingsStore& store) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    save(store, slotKey(kAddressPrefix, slot), view.addressText(slot));
    save(store, slotKey(kEnablePrefix, slot), std::to_string(view.enableValue(slot)));
  }
  save(store, kRefreshKey, view.intervalText());
  save(store, kOnTopKey, std::to_string(view.onTopValue()));
  store.commit();
}

}  // namespace orlo
