#include "ui/lamp_widget.h"

#include <QPainter>

#include "ui/probe_report_text.h"

namespace orlo {

LampWidget::LampWidget(int slot, QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  setAccessibleName(lampAccessibleName(slot));
  setReportText(notCheckedYetText());
}

void LampWidget::setColor(LampColor color) {
  color_ = color;
  // Only schedule the repaint: the colours of one sweep appear together when the window paints.
  update();
}

void LampWidget::setReportText(const QString& text) {
  // Every sweep reports every slot; only a new outcome is news to a screen reader.
  if (text == toolTip()) {
    return;
  }
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
