#include "ui/qt/lamp_widget.h"

#include <QAccessible>
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

void LampWidget::setReportText(const QString& text, bool announce) {
  // Without an accessible description of its own, the lamp's description is its tooltip, which
  // changes without a word to assistive technology; a screen reader following this lamp is told
  // only of a new outcome.
  setToolTip(text);
  if (announce) {
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
  }
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
