#pragma once

#include <vector>

#include <QApplication>
#include <QWidget>

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

}  // namespace orlo::testing_support
