#pragma once

#include <memory>
#include <vector>

#include <QApplication>
#include <QWidget>

#include "tests/support/memory_settings_store.h"
#include "tests/support/scripted_echo.h"
#include "ui/qt/form1_widget.h"
#include "ui/qt/message_presenter.h"

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

// The Qt window over in-memory parts, whose message boxes are recorded.
struct QtWindowParts {
  MemorySettingsStore store;
  ScriptedEcho echo;
  RecordingPresenter messages;
  MonitorParts parts{store, echo, "/usr/bin/orlo-monitor"};
};

// The monitor window among the top-level widgets, or nullptr.
inline Form1Widget* findMonitorWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QLatin1String("Form1")) {
      return qobject_cast<Form1Widget*>(widget);
    }
  }
  return nullptr;
}

// The program's start-up on a new window, as runMonitor begins it: the window (its timer
// counting), then the handlers' start. Nothing when the load failed: the failure has been
// reported and the window was never shown.
inline std::unique_ptr<Form1Widget> startMonitor(const MonitorParts& parts,
                                                 MessagePresenter& messages) {
  auto window = std::make_unique<Form1Widget>(parts, messages, true);
  if (!window->form().handlers().start()) {
    return nullptr;
  }
  return window;
}

}  // namespace orlo::testing_support
