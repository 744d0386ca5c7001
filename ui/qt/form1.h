#pragma once

#include <array>

#include <QWidget>

#include "core/echo_probe.h"
#include "core/monitor_view.h"
#include "settings/settings_store.h"
#include "ui/form1_controls.h"
#include "ui/form1_handlers.h"
#include "ui/qt/message_presenter.h"
#include "ui/window_shell.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTimer;

namespace orlo {

class LampWidget;

// What the window works with: the settings store it loads from and saves to, the echo service
// its sweeps probe with and the presenter of its message boxes.
struct MonitorParts {
  SettingsStore& settings;
  EchoService& echo;
  MessagePresenter& messages;
  // False where the desktop cannot keep a window above the others (native Wayland, for one):
  // "Window always on top." then only stores its value and says so in its tooltip.
  bool platformKeepsOnTop = true;
};

// The monitor window in Qt Widgets. It holds the monitor's state in its controls and implements
// MonitorView over them, and hands its events to its Form1Handlers. Every control carries its
// name as its objectName (Command1, Text1_0 .. Text1_9, Check1_0 .. Check1_9, Shape1_0 ..
// Shape1_9, Check2, Label1, Label2, tijd, Timer1).
class Form1 final : public QWidget, public MonitorView, private WindowShell {
  Q_OBJECT

 public:
  explicit Form1(const MonitorParts& parts);
  ~Form1() override;

  std::string addressText(int slot) const override;
  void setAddressText(int slot, const std::string& text) override;
  std::int16_t enableValue(int slot) const override;
  void setEnableValue(int slot, std::int16_t value) override;
  LampColor lampColor(int slot) const override;
  void setLampColor(int slot, LampColor color) override;
  std::string intervalText() const override;
  void setIntervalText(const std::string& text) override;
  std::int16_t onTopValue() const override;
  void setOnTopValue(std::int16_t value) override;
  void setProbeReport(int slot, const ProbeReport& report) override;

  Form1Handlers& handlers() { return handlers_; }

  // The tick of Timer1. A tick that falls due before the window is shown waits for its first
  // paint, or for the next tick where no paint comes.
  void timer1Tick();

 signals:
  // The always-on-top command has run; above tells whether it asked to stay above the others.
  void onTopCommandRan(bool above);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void createControls();
  void wire(const ControlSpec& spec, QWidget* control);
  void stayOnTop(bool above);

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

  QPushButton* command1_ = nullptr;
  std::array<QLineEdit*, kSlotCount> text1_{};
  std::array<QCheckBox*, kSlotCount> check1_{};
  std::array<LampWidget*, kSlotCount> shape1_{};
  QLineEdit* tijd_ = nullptr;
  QCheckBox* check2_ = nullptr;
  QTimer* timer1_ = nullptr;

  Form1Handlers handlers_;
  bool shown_ = false;
  bool painted_ = false;
  bool tickWaiting_ = false;
};

}  // namespace orlo
