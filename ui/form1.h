#pragma once

#include <array>
#include <exception>

#include <QWidget>

#include "core/echo_probe.h"
#include "core/monitor_view.h"
#include "core/refresh_schedule.h"
#include "settings/settings_store.h"
#include "ui/message_presenter.h"

class QCheckBox;
class QLabel;
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

// The monitor window. It holds the monitor's state in its controls and implements MonitorView
// over them; its timer drives the refresh schedule. Every control carries its name as its
// objectName (Command1, Text1_0 .. Text1_9, Check1_0 .. Check1_9, Shape1_0 .. Shape1_9, Check2,
// Label1, Label2, tijd, Timer1).
//
// No exception leaves any of its event handlers: the load, unload, expand/collapse and about
// handlers report a failure in a message box and end the program (failed() turns true and the
// event loop is told to exit with status 1); the tick and the always-on-top command skip what
// fails and go on.
class Form1 final : public QWidget, public MonitorView {
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

  // One check sweep over this window's slots.
  void doping();

  // The load handler: loads the settings, then runs one sweep. Returns false when it failed;
  // the failure has then been reported and the window must never be shown.
  bool load();

  // A handler that ends the program on failure has failed: the program's status must be 1.
  bool failed() const { return failed_; }

  // The tick of Timer1: one onTick of the refresh schedule. A tick that falls due before the
  // window is shown waits for its first paint, or for the next tick where no paint comes.
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
  void placeControls();
  void chainTabOrder();

  void command1Click();
  void command2Click();
  void check2Changed();
  void runOnTopCommand();
  void keepAbove(bool above);
  void runTick();

  void reportFatal(QWidget* parent, const QString& what, const std::exception& failure);
  void endAfterFailure(const QString& what, const std::exception& failure);

  SettingsStore& settings_;
  EchoService& echo_;
  MessagePresenter& messages_;
  const bool platformKeepsOnTop_;

  QPushButton* command1_ = nullptr;
  QPushButton* command2_ = nullptr;
  std::array<QLineEdit*, kSlotCount> text1_{};
  std::array<QCheckBox*, kSlotCount> check1_{};
  std::array<LampWidget*, kSlotCount> shape1_{};
  QLabel* label1_ = nullptr;
  QLineEdit* tijd_ = nullptr;
  QLabel* label2_ = nullptr;
  QCheckBox* check2_ = nullptr;
  QTimer* timer1_ = nullptr;

  RefreshSchedule schedule_;
  bool shown_ = false;
  bool painted_ = false;
  bool tickWaiting_ = false;
  bool failed_ = false;
};

}  // namespace orlo
