#include "ui/message_presenter.h"

namespace orlo {

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const MessageBoxContent& content) {
  auto box = std::make_unique<QMessageBox>(content.icon, content.title, content.text,
                                           QMessageBox::Ok, parent);
  box->setWindowModality(Qt::ApplicationModal);
  return box;
}

void MessageBoxPresenter::show(QWidget* parent, const MessageBoxContent& content) {
  makeMessageBox(parent, content)->exec();
}

}  // namespace orlo
