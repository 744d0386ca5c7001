#pragma once

#include <memory>

#include <QMessageBox>

#include "ui/window_texts.h"

namespace orlo {

// Shows the window's modal message boxes: the about box and the reports of failures that end
// the program. The window reaches message boxes only through this, so that tests can watch what
// it shows without a user to dismiss the box.
class MessagePresenter {
 public:
  virtual ~MessagePresenter() = default;
  // Returns when the user has dismissed the box.
  virtual void show(QWidget* parent, const MessageBoxContent& content) = 0;
};

// The box as the user sees it: modal, OK only, its lines one below the other.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const MessageBoxContent& content);

// Shows a real QMessageBox and waits for the user.
class MessageBoxPresenter final : public MessagePresenter {
 public:
  void show(QWidget* parent, const MessageBoxContent& content) override;
};

}  // namespace orlo
