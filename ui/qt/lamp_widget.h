#pragma once

#include <QWidget>

#include "core/monitor_view.h"

namespace orlo {

// One lamp of the monitor: a circle filled solid in the exact RGB of its LampColor. It changes
// only through setColor and shows the new colour when the window next paints. Its tooltip, which
// assistive technology reads as its description, says what the slot's last probe found.
class LampWidget : public QWidget {
  Q_OBJECT

 public:
  explicit LampWidget(QWidget* parent);

  LampColor color() const { return color_; }
  void setColor(LampColor color);

  // The words shown for the slot's last probe, which screen readers read as the lamp's
  // description; with announce, they are told that it changed.
  void setReportText(const QString& text, bool announce);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  LampColor color_ = LampColor::Black;
};

}  // namespace orlo
