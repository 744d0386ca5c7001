#include "ui/form1.h"

#include <limits>

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "core/check_sweep.h"
#include "settings/settings_sequences.h"
#include "ui/about_box.h"
#include "ui/form1_layout.h"
#include "ui/lamp_widget.h"
#include "ui/probe_report_text.h"

namespace orlo {
namespace {

constexpr char kWindowCaption[] = "Orlo - IP Monitor";
constexpr int kTimer1IntervalMs = 1000;
// A fixed-size window: title, system menu, minimise and close, but no maximise.
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
// Captions and texts in the size of the classic 8 point dialog font, narrowed a little so that
// "Refresh every" and "minutes" fit their labels with the common Linux sans fonts, which run
// wider. Point sizes scale with the DPI just as the twips layout does.
constexpr int kFontPointSize = 8;
constexpr int kFontStretch = QFont::SemiCondensed;

// What a screen reader says for the controls whose captions do not tell it (the boxes have none).
constexpr char kAddressBoxName[] = "Host %1 address";
constexpr char kIntervalBoxName[] = "Refresh interval in minutes";
constexpr char kCommand1Description[] = "Show or hide the addresses and options";
constexpr char kCommand2Description[] = "About Orlo - IP Monitor";

constexpr char kNoOnTopToolTip[] =
    "This desktop does not let a program keep its window above the others. "
    "The setting is still saved for desktops that do.";

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
  // Greyed is reachable only by program; a click on a greyed box checks it (see leaveGreyed).
  if (value == 2) {
    box.setTristate(true);
  }
  box.setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

// Once a box has left the greyed state, clicks only toggle between unchecked and checked.
void leaveGreyed(QCheckBox& box) {
  if (box.checkState() != Qt::PartiallyChecked) {
    box.setTristate(false);
  }
}

QString fromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toUtf8(const QString& text) {
  return text.toUtf8().toStdString();
}

QLineEdit* makeTextBox(QWidget* parent, const QString& name) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  // The texts are kept exactly as typed or stored: no length limit.
  box->setMaxLength(std::numeric_limits<int>::max());
  return box;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

}  // namespace

Form1::Form1(const MonitorParts& parts)
    : QWidget(nullptr, kWindowFlags),
      settings_(parts.settings),
      echo_(parts.echo),
      messages_(parts.messages),
      platformKeepsOnTop_(parts.platformKeepsOnTop),
      schedule_(*this, [this] { doping(); }) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromLatin1(kWindowCaption));
  QFont captionFont = font();
  captionFont.setPointSize(kFontPointSize);
  captionFont.setStretch(kFontStretch);
  setFont(captionFont);

  createControls();
  placeControls();
  chainTabOrder();
  command1_->setFocus();

  // Timer1 counts from the moment the window exists.
  timer1_->start();
}

Form1::~Form1() = default;

void Form1::createControls() {
  command1_ = makeButton(this, QStringLiteral("Command1"), QStringLiteral(">>"));
  command1_->setAccessibleDescription(QString::fromLatin1(kCommand1Description));
  command2_ = makeButton(this, QStringLiteral("Command2"), QStringLiteral("?"));
  command2_->setAccessibleDescription(QString::fromLatin1(kCommand2Description));
  for (int slot = 0; slot < kSlotCount; ++slot) {
    text1_[slot] = makeTextBox(this, slotControlName("Text1", slot));
    text1_[slot]->setAccessibleName(QString::fromLatin1(kAddressBoxName).arg(slot + 1));
    auto* box = new QCheckBox(QStringLiteral("%1.").arg(slot + 1), this);
    box->setObjectName(slotControlName("Check1", slot));
    // Caption left of the box, the box at the right edge.
    box->setLayoutDirection(Qt::RightToLeft);
    connect(box, &QCheckBox::stateChanged, this, [box] { leaveGreyed(*box); });
    check1_[slot] = box;
    shape1_[slot] = new LampWidget(slot, this);
    shape1_[slot]->setObjectName(slotControlName("Shape1", slot));
  }
  label1_ = new QLabel(QStringLiteral("Refresh every"), this);
  label1_->setObjectName(QStringLiteral("Label1"));
  // Label1 and tijd overlap; the text box is drawn above the label.
  tijd_ = makeTextBox(this, QStringLiteral("tijd"));
  tijd_->setAccessibleName(QString::fromLatin1(kIntervalBoxName));
  label2_ = new QLabel(QStringLiteral("minutes"), this);
  label2_->setObjectName(QStringLiteral("Label2"));
  check2_ = new QCheckBox(QStringLiteral("Window always on top."), this);
  check2_->setObjectName(QStringLiteral("Check2"));
  if (!platformKeepsOnTop_) {
    check2_->setToolTip(QString::fromLatin1(kNoOnTopToolTip));
  }

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setTimerType(Qt::PreciseTimer);
  timer1_->setInterval(kTimer1IntervalMs);

  connect(command1_, &QPushButton::clicked, this, &Form1::command1Click);
  connect(command2_, &QPushButton::clicked, this, &Form1::command2Click);
  connect(check2_, &QCheckBox::stateChanged, this, &Form1::check2Changed);
  connect(timer1_, &QTimer::timeout, this, &Form1::timer1Tick);
}

void Form1::placeControls() {
  const int dpiX = logicalDpiX();
  const int dpiY = logicalDpiY();
  const auto place = [dpiX, dpiY](QWidget* control, const TwipsRect& rect) {
    control->setGeometry(pixelRect(rect, dpiX, dpiY));
  };
  place(command1_, layout::kCommand1);
  place(command2_, layout::kCommand2);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    place(text1_[slot], layout::text1(slot));
    place(check1_[slot], layout::check1(slot));
    place(shape1_[slot], layout::shape1(slot));
  }
  place(label1_, layout::kLabel1);
  place(tijd_, layout::kTijd);
  place(label2_, layout::kLabel2);
  place(check2_, layout::kCheck2);
  // The user cannot resize the window; only ">>" changes its height.
  setFixedSize(pixelSize(layout::kClientWidth, layout::kCreationClientHeight, dpiX, dpiY));
}

void Form1::chainTabOrder() {
  QWidget* previous = command1_;
  const auto follow = [&previous](QWidget* next) {
    QWidget::setTabOrder(previous, next);
    previous = next;
  };
  for (int slot = 0; slot < kSlotCount; ++slot) {
    follow(text1_[slot]);
    follow(check1_[slot]);
  }
  follow(command2_);
  follow(tijd_);
  follow(check2_);
}

std::string Form1::addressText(int slot) const {
  checkSlotIndex(slot);
  return toUtf8(text1_[slot]->text());
}

void Form1::setAddressText(int slot, const std::string& text) {
  checkSlotIndex(slot);
  text1_[slot]->setText(fromUtf8(text));
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
  return toUtf8(tijd_->text());
}

void Form1::setIntervalText(const std::string& text) {
  tijd_->setText(fromUtf8(text));
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
  shape1_[slot]->setReportText(probeReportText(report, QCoreApplication::applicationFilePath()));
}

void Form1::doping() {
  ::orlo::doping(*this, echo_);
}

bool Form1::load() {
  try {
    loadSettings(*this, settings_);
    doping();
  } catch (const std::exception& failure) {
    // The window is not shown yet, so the report stands alone.
    reportFatal(nullptr, QStringLiteral("could not load its settings"), failure);
    return false;
  }
  return true;
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
  runTick();
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
    QTimer::singleShot(0, this, [this] {
      if (tickWaiting_) {
        tickWaiting_ = false;
        runTick();
      }
    });
  }
}

void Form1::runTick() {
  try {
    schedule_.onTick();
  } catch (const std::exception&) {
    // Skip-and-continue: the next tick tries again.
  }
  // The lamps only asked for a repaint; Qt delivers it before the next tick, so the colours of
  // a sweep appear together and before the schedule counts on.
}

void Form1::command1Click() {
  try {
    const int dpiY = logicalDpiY();
    const int expanded = twipsToPixels(layout::kExpandedClientHeight, dpiY);
    const int collapsed = twipsToPixels(layout::kCollapsedClientHeight, dpiY);
    // Any height but the expanded one counts as collapsed, the height at creation included.
    const int target = height() == expanded ? collapsed : expanded;
    setFixedSize(width(), target);
  } catch (const std::exception& failure) {
    endAfterFailure(QStringLiteral("could not change the window's height"), failure);
  }
}

void Form1::command2Click() {
  try {
    messages_.show(this, aboutBoxContent());
  } catch (const std::exception& failure) {
    endAfterFailure(QStringLiteral("could not show the about box"), failure);
  }
}

void Form1::check2Changed() {
  leaveGreyed(*check2_);
  runOnTopCommand();
}

void Form1::runOnTopCommand() {
  const bool above = onTopValue() == 1;
  try {
    if (platformKeepsOnTop_) {
      keepAbove(above);
    }
  } catch (const std::exception&) {
    // Skip-and-continue: the box keeps its value and the stacking stays as it was.
  }
  emit onTopCommandRan(above);
}

void Form1::keepAbove(bool above) {
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

void Form1::closeEvent(QCloseEvent* event) {
  // Closing is never cancelled, whatever the save does.
  event->accept();
  timer1_->stop();
  try {
    saveSettings(*this, settings_);
  } catch (const std::exception& failure) {
    reportFatal(this, QStringLiteral("could not save its settings"), failure);
  }
}

void Form1::reportFatal(QWidget* parent, const QString& what, const std::exception& failure) {
  failed_ = true;
  // No sweep runs behind the report.
  timer1_->stop();
  messages_.show(parent, {QString::fromLatin1(kWindowCaption),
                          QStringLiteral("Orlo - IP Monitor %1 and ends now.\n\n%2")
                              .arg(what, QString::fromUtf8(failure.what())),
                          QMessageBox::Critical});
  // Ends the running event loop with status 1. Before the loop runs (a failed load) there is
  // nothing to end: the start-up sees failed() instead, and a later loop is not cut short.
  if (QThread::currentThread()->loopLevel() > 0) {
    QCoreApplication::exit(1);
  }
}

void Form1::endAfterFailure(const QString& what, const std::exception& failure) {
  reportFatal(this, what, failure);
  // Closing saves the settings, so the user's edits are not lost with the program.
  close();
}

}  // namespace orlo
