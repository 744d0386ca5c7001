#include "ui/qt/lamp_widget.h"

#include <QPainter>

namespace orlo {

LampWidget::LampWidget(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
}

void LampWidget::setColor(LampColor color) {
  color_ = color;
  // Only schedule the repaint: the colours of one sweep appear together when the window paints.
  update();
}

void LampWidget::setReportText(const QString& text) {
  setToolTip(text);
  // Also tells assistive technology that the description changed, so that a screen reader
  // following this lamp reads the new outcome.
  setAccessibleDescription(text);
}

void LampWidget::paintEvent(QPaintEvent*) {
  const Rgb rgb = rgbOf(color_);
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(rgb.red, rgb.green, rgb.blue));
  painter.drawEllipse(rect());
}

}  // namespace orlo
