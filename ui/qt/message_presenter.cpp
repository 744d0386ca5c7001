#include "ui/qt/message_presenter.h"

namespace orlo {

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const MessageBoxContent& content) {
  const QMessageBox::Icon icon =
      content.icon == MessageIcon::Failure ? QMessageBox::Critical : QMessageBox::NoIcon;
  auto box = std::make_unique<QMessageBox>(icon, QString::fromStdString(content.title),
                                           QString::fromStdString(content.text("\n")),
                                           QMessageBox::Ok, parent);
  box->setWindowModality(Qt::ApplicationModal);
  return box;
}

void MessageBoxPresenter::show(QWidget* parent, const MessageBoxContent& content) {
  makeMessageBox(parent, content)->exec();
}

}  // namespace orlo
