#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QApplication>
#include <QWidget>

#include "settings/settings_store.h"
#include "tests/support/scripted_echo.h"
#include "ui/message_presenter.h"

namespace orlo::testing_support {

// Records every message box instead of showing it.
class RecordingPresenter final : public MessagePresenter {
 public:
  struct Shown {
    MessageBoxContent content;
    bool parentVisible;
  };
  std::vector<Shown> shown;

  void show(QWidget* parent, const MessageBoxContent& content) override {
    shown.push_back({content, parent != nullptr && parent->isVisible()});
  }
};

// The monitor window among the top-level widgets, or nullptr.
inline QWidget* findMonitorWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QLatin1String("Form1")) {
      return widget;
    }
  }
  return nullptr;
}

// Stores the values as a previous run would have left them.
inline void preset(SettingsStore& store, const std::map<std::string, std::string>& values) {
  for (const auto& [key, value] : values) {
    store.save(kSettingsApplication, kSettingsSection, key, value);
  }
  store.commit();
}

inline std::string stored(SettingsStore& store, const std::string& key) {
  return store.get(kSettingsApplication, kSettingsSection, key, "<absent>");
}

}  // namespace orlo::testing_support
