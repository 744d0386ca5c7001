#pragma once

#include "core/monitor_view.h"
#include "settings/settings_store.h"

namespace orlo {

// Reads the ten slots, the interval text and the on-top value from the store into the view.
// Throws SettingsError when the store fails or the stored "ontop" is not 0, 1 or 2; the view
// may then hold some of the values already read.
void loadSettings(MonitorView& view, SettingsStore& store);

// Writes the ten slots, the interval text and the on-top value from the view to the store, all
// at once. Throws SettingsError when the store fails; the store then holds what it held before.
void saveSettings(const MonitorView& view, SettingsStore& store);

}  // namespace orlo
