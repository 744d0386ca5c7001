#include "settings/settings_sequences.h"

#include <string>

#include "core/integer_text.h"
#include "settings/message_text.h"
#include "settings/settings_keys.h"

namespace orlo {
namespace {

using settings_keys::kAddressPrefix;
using settings_keys::kEnablePrefix;
using settings_keys::slotKey;
constexpr char kRefreshDefault[] = "5";
constexpr char kOnTopDefault[] = "1";
// Only this exact text ticks a slot's box; "01", "true" or " 1" leave it unticked.
constexpr char kEnabledText[] = "1";

std::string get(SettingsStore& store, const std::string& key, const std::string& defaultValue) {
  return store.get(kSettingsApplication, kSettingsSection, key, defaultValue);
}

void save(SettingsStore& store, const std::string& key, const std::string& value) {
  store.save(kSettingsApplication, kSettingsSection, key, value);
}

[[noreturn]] void throwUnusableOnTop(const SettingsStore& store, const std::string& text,
                                     const char* problem) {
  throw SettingsError("The setting \"" + std::string(settings_keys::kOnTop) + "\" in " +
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
  view.setIntervalText(get(store, settings_keys::kRefresh, kRefreshDefault));
  view.setOnTopValue(onTopValueOf(store, get(store, settings_keys::kOnTop, kOnTopDefault)));
}

void saveSettings(const MonitorView& view, SettingsStore& store, const SettingsList& further) {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    save(store, slotKey(kAddressPrefix, slot), view.addressText(slot));
    save(store, slotKey(kEnablePrefix, slot), std::to_string(view.enableValue(slot)));
  }
  save(store, settings_keys::kRefresh, view.intervalText());
  save(store, settings_keys::kOnTop, std::to_string(view.onTopValue()));
  for (const auto& [key, value] : further) {
    save(store, key, value);
  }
  store.commit();
}

}  // namespace orlo
