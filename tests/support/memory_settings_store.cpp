#include "tests/support/memory_settings_store.h"

#include <utility>

namespace orlo::testing_support {

std::string MemorySettingsStore::get(const std::string& application, const std::string& section,
                                     const std::string& key, const std::string& defaultValue) {
  gets_.push_back({application, section, key});
  if (failingGetKey_ == key) {
    throw SettingsError("The setting \"" + key + "\" in " + location(section) + " cannot be read.");
  }
  const auto found = committed_.find({application, section, key});
  return found == committed_.end() ? defaultValue : found->second;
}

void MemorySettingsStore::save(const std::string& application, const std::string& section,
                               const std::string& key, const std::string& value) {
  SavedValue saved{{application, section, key}, value};
  saves_.push_back(saved);
  staged_.push_back(std::move(saved));
}

void MemorySettingsStore::commit() {
  ++commitCount_;
  std::vector<SavedValue> staged = std::exchange(staged_, {});
  if (commitsFail_) {
    throw SettingsError("The settings could not be saved to " + location(kSettingsSection) +
                        ", which was told to fail.");
  }
  for (SavedValue& saved : staged) {
    committed_.insert_or_assign(std::move(saved.address), std::move(saved.value));
  }
}

void MemorySettingsStore::setStored(const Address& address, const std::string& value) {
  committed_.insert_or_assign(address, value);
}

std::optional<std::string> MemorySettingsStore::stored(const Address& address) const {
  const auto found = committed_.find(address);
  if (found == committed_.end()) {
    return std::nullopt;
  }
  return found->second;
}

void MemorySettingsStore::setMonitorValues(const std::map<std::string, std::string>& values) {
  for (const auto& [key, value] : values) {
    setStored({kSettingsApplication, kSettingsSection, key}, value);
  }
}

std::string MemorySettingsStore::monitorValue(const std::string& key) const {
  return stored({kSettingsApplication, kSettingsSection, key}).value_or("<absent>");
}

}  // namespace orlo::testing_support
