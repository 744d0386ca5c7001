#pragma once

#include <vector>

#include <QWidget>

#include "ui/form1.h"
#include "ui/form1_skin.h"
#include "ui/qt/message_presenter.h"
#include "ui/qt/status_icon.h"

class QAction;
class QMenu;
class QTimer;

namespace orlo {

// The monitor window in Qt Widgets: it makes, draws and wires the controls of form1Controls()
// and hands their events to its Form1, which holds the window's behaviour. Every control
// carries its name as its objectName (Command1, Text1_0 .. Text1_9, Check1_0 .. Check1_9,
// Shape1_0 .. Shape1_9, Check2, Label1, Label2, tijd, Timer1), the window itself "Form1".
class Form1Widget final : public QWidget, private Form1Skin {
  Q_OBJECT

 public:
  // Message boxes go through the presenter. Where the platform cannot keep a window above the
  // others (native Wayland, for one), "Window always on top." only stores its value and says so
  // in its tooltip.
  Form1Widget(const MonitorParts& parts, MessagePresenter& messages, bool platformKeepsOnTop);
  ~Form1Widget() override;

  Form1& form() { return form_; }

  // The tick of Timer1. A tick that falls due before the window is shown waits for its first
  // paint, or for the next tick where no paint comes.
  void timer1Tick();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Shows the tool tips of the controls as plain text.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createControls();
  void createContextMenu();
  void refreshContextMenu();
  template <typename T>
  T& control(Control kind, int slot) const;

  std::string text(Control box, int slot) const override;
  void setText(Control box, int slot, const std::string& text) override;
  std::int16_t boxValue(Control box, int slot) const override;
  void setBoxValue(Control box, int slot, std::int16_t value) override;
  LampColor lampColor(int slot) const override;
  void setLampColor(int slot, LampColor color) override;
  std::string lampReport(int slot) const override;
  void setLampReport(int slot, const std::string& text, bool announce) override;

  bool hasNotificationArea() const override;
  StatusTextLimits textLimits() const override;
  void showStatusIcon(const StatusIcon& icon) override;
  void hideStatusIcon() override;
  void notify(const std::string& title, const std::string& text, StatusState state) override;
  void showContextMenu(const QPoint& at);

  int clientHeight() const override;
  int verticalDpi() const override;
  void setClientHeight(int pixels) override;
  void keepAbove(bool above) override;
  void showMessage(const MessageBoxContent& content, MessagePlacement placement) override;
  void stopTimer() override;
  void showWindow() override;
  void closeWindow() override;
  int runEventLoop() override;
  void endEventLoop(int status) override;

  MessagePresenter& messages_;
  const bool platformKeepsOnTop_;
  std::vector<QWidget*> controls_;  // in the order of form1Controls()
  QTimer* timer1_ = nullptr;
  QMenu* menu_ = nullptr;  // the window's and the status icon's
  std::vector<QAction*> menuItems_;
  SessionBus bus_;
  NotificationAreaIcon* statusIcon_ = nullptr;
  DesktopNotifications* notifications_ = nullptr;
  Form1 form_;
  bool shown_ = false;
  bool painted_ = false;
  bool tickWaiting_ = false;
};

}  // namespace orlo
