#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "settings/settings_store.h"

namespace orlo::testing_support {

// A SettingsStore that keeps its values in memory, for tests. It logs every get and save in
// order, and can be told to fail a get or the commit.
class MemorySettingsStore : public SettingsStore {
 public:
  struct Address {
    std::string application;
    std::string section;
    std::string key;
    friend auto operator<=>(const Address&, const Address&) = default;
  };
  struct SavedValue {
    Address address;
    std::string value;
    friend bool operator==(const SavedValue&, const SavedValue&) = default;
  };

  std::string get(const std::string& application, const std::string& section,
                  const std::string& key, const std::string& defaultValue) override;
  void save(const std::string& application, const std::string& section, const std::string& key,
            const std::string& value) override;
  void commit() override;
  std::string location(const std::string& /*section*/) const override {
    return "the in-memory settings store";
  }

  // A value as if an earlier run had committed it.
  void setStored(const Address& address, const std::string& value);
  // The committed value, or nothing when the key is absent.
  std::optional<std::string> stored(const Address& address) const;
  std::size_t storedCount() const { return committed_.size(); }
  // The same for keys of the monitor's application and section; a key with no value reads as
  // "<absent>".
  void setMonitorValues(const std::map<std::string, std::string>& values);
  std::string monitorValue(const std::string& key) const;

  // Every get, in order (including one that failed), and every save, in order.
  const std::vector<Address>& gets() const { return gets_; }
  const std::vector<SavedValue>& saves() const { return saves_; }
  std::size_t commitCount() const { return commitCount_; }

  // From now on, a get of this key throws SettingsError.
  void failGetsOf(const std::string& key) { failingGetKey_ = key; }
  // From now on, commit throws SettingsError and changes nothing.
  void failCommits() { commitsFail_ = true; }

 private:
  std::map<Address, std::string> committed_;
  std::vector<SavedValue> staged_;
  std::vector<Address> gets_;
  std::vector<SavedValue> saves_;
  std::size_t commitCount_ = 0;
  std::optional<std::string> failingGetKey_;
  bool commitsFail_ = false;
};

}  // namespace orlo::testing_support
