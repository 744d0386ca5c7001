#pragma once

#include <memory>
#include <vector>

#include <QApplication>
#include <QWidget>

#include "ui/qt/form1.h"
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

// The monitor window among the top-level widgets, or nullptr.
inline QWidget* findMonitorWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QLatin1String("Form1")) {
      return widget;
    }
  }
  return nullptr;
}

// The program's start-up on a new window, as runMonitor begins it: the window (its timer
// counting), then Form1Handlers::start. Nothing when the load failed: the failure has been
// reported and the window was never shown.
inline std::unique_ptr<Form1> startMonitor(const MonitorParts& parts) {
  auto window = std::make_unique<Form1>(parts);
  if (!window->handlers().start()) {
    return nullptr;
  }
  return window;
}

}  // namespace orlo::testing_support
