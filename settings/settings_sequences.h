#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/monitor_view.h"
#include "settings/settings_store.h"

namespace orlo {

// Reads the ten slots, the interval text and the on-top value from the store into the view.
// Throws SettingsError when the store fails or the stored "ontop" is not 0, 1 or 2; the view
// may then hold some of the values already read.
void loadSettings(MonitorView& view, SettingsStore& store);

// Keys and their values, in a settings section.
using SettingsList = std::vector<std::pair<std::string, std::string>>;

// Writes the ten slots, the interval text and the on-top value from the view to the store, key by
// key in the order they are read, then the further keys given, then commits. Throws SettingsError
// when the store fails: a store that writes all at once then holds what it held before; one that
// writes value by value keeps the values saved before the failure and gets none after it.
void saveSettings(const MonitorView& view, SettingsStore& store, const SettingsList& further = {});

}  // namespace orlo
