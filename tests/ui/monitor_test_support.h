#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QApplication>
#include <QWidget>

#include "core/echo_probe.h"
#include "settings/settings_store.h"
#include "ui/message_presenter.h"

namespace orlo::testing {

// An echo service that answers from a script: a status per address (default: no reply within
// 500 ms), with hooks that let a test look at the window while a sweep runs.
class ScriptedEcho final : public EchoService {
 public:
  std::map<std::string, std::int32_t> statusOf;
  std::function<void()> onStartSockets;
  std::function<void(const std::string& address)> onProbe;

  int sweeps = 0;
  std::vector<std::string> probed;

  bool StartSockets() override {
    ++sweeps;
    if (onStartSockets) {
      onStartSockets();
    }
    return true;
  }

  std::int32_t ProbeHost(const std::string& address, const std::string&, EchoReply&) override {
    probed.push_back(address);
    if (onProbe) {
      onProbe(address);
    }
    const auto found = statusOf.find(address);
    return found == statusOf.end() ? ip_status::kTimedOut : found->second;
  }
};

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

}  // namespace orlo::testing
