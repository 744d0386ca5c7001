#include "ui/qt/form1.h"

#include <limits>
#include <stdexcept>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "ui/form1_controls.h"
#include "ui/form1_layout.h"
#include "ui/probe_report_text.h"
#include "ui/qt/lamp_widget.h"

namespace orlo {
namespace {

// A fixed-size window: title, system menu, minimise and close, but no maximise.
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
// Captions and texts in the layout's point size are narrowed a little so that "Refresh every" and
// "minutes" fit their labels with the common Linux sans fonts, which run wider. Point sizes scale
// with the DPI just as the twips layout does.
constexpr int kFontStretch = QFont::SemiCondensed;

// Box values: 0 unchecked, 1 checked, 2 greyed.
std::int16_t boxValueOf(const QCheckBox& box) {
  switch (box.checkState()) {
    case Qt::Checked:
      return 1;
    case Qt::PartiallyChecked:
      return 2;
    case Qt::Unchecked:
      break;
  }
  return 0;
}

void setBoxValue(QCheckBox& box, std::int16_t value) {
  checkBoxValue(value);
  // Three-state only while greyed, which only the program sets.
  box.setTristate(value == 2);
  box.setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

// A check box that a click moves by the window's rule rather than through Qt's three-state cycle.
class BoxControl final : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void nextCheckState() override { setBoxValue(*this, boxValueAfterClick(boxValueOf(*this))); }
};

QWidget* makeControl(const ControlSpec& spec, QWidget* parent) {
  const QString caption = QString::fromStdString(spec.caption);
  switch (spec.kind) {
    case ControlKind::PushButton: {
      auto* button = new QPushButton(caption, parent);
      button->setAutoDefault(false);
      button->setDefault(false);
      return button;
    }
    case ControlKind::TextBox: {
      auto* box = new QLineEdit(caption, parent);
      // The texts are kept exactly as typed or stored: no length limit.
      box->setMaxLength(std::numeric_limits<int>::max());
      return box;
    }
    case ControlKind::CheckBoxCaptionLeft:
    case ControlKind::CheckBoxCaptionRight: {
      auto* box = new BoxControl(caption, parent);
      if (spec.kind == ControlKind::CheckBoxCaptionLeft) {
        box->setLayoutDirection(Qt::RightToLeft);
      }
      return box;
    }
    case ControlKind::Label:
      return new QLabel(caption, parent);
    case ControlKind::Lamp:
      return new LampWidget(parent);
  }
  throw std::logic_error("unknown control kind");
}

}  // namespace

Form1::Form1(const MonitorParts& parts)
    : QWidget(nullptr, kWindowFlags),
      messages_(parts.messages),
      platformKeepsOnTop_(parts.platformKeepsOnTop),
      handlers_(*this, *this, parts.settings, parts.echo) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromStdString(windowCaption()));
  QFont captionFont = font();
  captionFont.setPointSize(layout::kCaptionPointSize);
  captionFont.setStretch(kFontStretch);
  setFont(captionFont);

  createControls();
  // The user cannot resize the window; only ">>" changes its height.
  setFixedSize(twipsToPixels(layout::kClientWidth, logicalDpiX()),
               twipsToPixels(layout::kCreationClientHeight, logicalDpiY()));

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setTimerType(Qt::PreciseTimer);
  timer1_->setInterval(kTimer1IntervalMs);
  connect(timer1_, &QTimer::timeout, this, &Form1::timer1Tick);
  // Timer1 counts from the moment the window exists.
  timer1_->start();
}

Form1::~Form1() = default;

void Form1::createControls() {
  const int dpiX = logicalDpiX();
  const int dpiY = logicalDpiY();
  // Made in the list's order, which Qt keeps as the tab order and as the order of drawing.
  for (const ControlSpec& spec : form1Controls()) {
    QWidget* control = makeControl(spec, this);
    control->setObjectName(QString::fromStdString(spec.name));
    const PixelRect rect = pixelRect(spec.rect, dpiX, dpiY);
    control->setGeometry(rect.left, rect.top, rect.width, rect.height);
    if (!spec.accessibleName.empty()) {
      control->setAccessibleName(QString::fromStdString(spec.accessibleName));
    }
    const QString description = QString::fromStdString(spec.accessibleDescription);
    if (auto* lamp = qobject_cast<LampWidget*>(control)) {
      // A lamp's description is also its tooltip: what its slot's last probe found.
      lamp->setReportText(description);
    } else if (!description.isEmpty()) {
      control->setAccessibleDescription(description);
    }
    wire(spec, control);
  }
}

void Form1::wire(const ControlSpec& spec, QWidget* control) {
  switch (spec.control) {
    case Control::Command1:
      command1_ = static_cast<QPushButton*>(control);
      connect(command1_, &QPushButton::clicked, this, [this] { handlers_.command1Click(); });
      break;
    case Control::Command2:
      connect(static_cast<QPushButton*>(control), &QPushButton::clicked, this,
              [this] { handlers_.command2Click(); });
      break;
    case Control::Text1:
      text1_[spec.slot] = static_cast<QLineEdit*>(control);
      break;
    case Control::Check1:
      check1_[spec.slot] = static_cast<QCheckBox*>(control);
      break;
    case Control::Shape1:
      shape1_[spec.slot] = static_cast<LampWidget*>(control);
      break;
    case Control::Tijd:
      tijd_ = static_cast<QLineEdit*>(control);
      break;
    case Control::Check2:
      check2_ = static_cast<QCheckBox*>(control);
      if (!platformKeepsOnTop_) {
        check2_->setToolTip(QString::fromStdString(noOnTopToolTip()));
      }
      connect(check2_, &QCheckBox::stateChanged, this, [this] { handlers_.check2Changed(); });
      break;
    case Control::Label1:
    case Control::Label2:
      break;
  }
}

std::string Form1::addressText(int slot) const {
  checkSlotIndex(slot);
  return text1_[slot]->text().toStdString();
}

void Form1::setAddressText(int slot, const std::string& text) {
  checkSlotIndex(slot);
  text1_[slot]->setText(QString::fromStdString(text));
}

std::int16_t Form1::enableValue(int slot) const {
  checkSlotIndex(slot);
  return boxValueOf(*check1_[slot]);
}

void Form1::setEnableValue(int slot, std::int16_t value) {
  checkSlotIndex(slot);
  setBoxValue(*check1_[slot], value);
}

LampColor Form1::lampColor(int slot) const {
  checkSlotIndex(slot);
  return shape1_[slot]->color();
}

void Form1::setLampColor(int slot, LampColor color) {
  checkSlotIndex(slot);
  shape1_[slot]->setColor(color);
}

std::string Form1::intervalText() const {
  return tijd_->text().toStdString();
}

void Form1::setIntervalText(const std::string& text) {
  tijd_->setText(QString::fromStdString(text));
}

std::int16_t Form1::onTopValue() const {
  return boxValueOf(*check2_);
}

void Form1::setOnTopValue(std::int16_t value) {
  checkBoxValue(value);
  if (value == onTopValue()) {
    return;
  }
  // The box reports the change, which runs the always-on-top command once.
  setBoxValue(*check2_, value);
}

void Form1::setProbeReport(int slot, const ProbeReport& report) {
  checkSlotIndex(slot);
  const std::string text =
      probeReportText(report, QCoreApplication::applicationFilePath().toStdString());
  shape1_[slot]->setReportText(QString::fromStdString(text));
}

void Form1::timer1Tick() {
  // A tick that falls due before the window is shown (the first sweep may take seconds) waits
  // for the window's first paint; while it waits, further ticks add nothing.
  if (!shown_) {
    tickWaiting_ = true;
    return;
  }
  // A window that is never exposed (mapped on a workspace that is not shown, iconic, covered)
  // is never painted: the next tick no longer waits, and takes the waiting one's place.
  tickWaiting_ = false;
  handlers_.timer1Tick();
}

void Form1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) {
    return;
  }
  shown_ = true;
  if (timer1_->remainingTime() == 0) {
    // Fell due during the first sweep; Timer1 would deliver it before the window is painted.
    tickWaiting_ = true;
  }
  if (tickWaiting_ && timer1_->isActive()) {
    // The first paint has a whole interval to come before the next tick stops waiting for it.
    timer1_->start();
  }
}

void Form1::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (painted_) {
    return;
  }
  painted_ = true;
  if (tickWaiting_) {
    // After this paint has reached the screen, not inside it; unless a tick took its place.
    // The lamps of a sweep only ask for a repaint, which Qt delivers before the next tick, so
    // the colours of a sweep appear together and before the schedule counts on.
    QTimer::singleShot(0, this, [this] {
      if (tickWaiting_) {
        tickWaiting_ = false;
        handlers_.timer1Tick();
      }
    });
  }
}

void Form1::closeEvent(QCloseEvent* event) {
  // Closing is never cancelled, whatever the save does.
  event->accept();
  handlers_.unload();
}

int Form1::clientHeight() const {
  return height();
}

int Form1::verticalDpi() const {
  return logicalDpiY();
}

void Form1::setClientHeight(int pixels) {
  setFixedSize(width(), pixels);
}

void Form1::keepAbove(bool above) {
  if (platformKeepsOnTop_) {
    stayOnTop(above);
  }
  emit onTopCommandRan(above);
}

void Form1::stayOnTop(bool above) {
  // Before the first show this creates the native window, so that the window is above the
  // others from its first appearance.
  winId();
  QWindow* window = windowHandle();
  if (window == nullptr) {
    return;
  }
  Qt::WindowFlags flags = window->flags();
  flags.setFlag(Qt::WindowStaysOnTopHint, above);
  // Changing the flags of the existing native window neither unmaps, moves nor recreates it
  // (QWidget::setWindowFlags would do all three); the widget's copy of the flags follows.
  overrideWindowFlags(flags);
  window->setFlags(flags);
  // Both ways the window comes to the front and is activated, as the window manager's z-order
  // call does: checked, above every window; unchecked, above the normal windows, which may
  // cover it again from then on.
  if (isVisible()) {
    raise();
    activateWindow();
  }
}

void Form1::showMessage(const MessageBoxContent& content, MessagePlacement placement) {
  messages_.show(placement == MessagePlacement::OverTheWindow ? this : nullptr, content);
}

void Form1::stopTimer() {
  timer1_->stop();
}

void Form1::showWindow() {
  command1_->setFocus();
  show();
}

void Form1::closeWindow() {
  close();
}

int Form1::runEventLoop() {
  return QApplication::exec();
}

void Form1::endEventLoop(int status) {
  // Before the loop runs (a failed load) there is nothing to end: the start-up sees the failure
  // instead, and a later loop is not cut short.
  if (QThread::currentThread()->loopLevel() > 0) {
    QCoreApplication::exit(status);
  }
}

}  // namespace orlo
