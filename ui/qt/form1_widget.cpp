#include "ui/qt/form1_widget.h"

#include <limits>
#include <stdexcept>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include "ui/form1_controls.h"
#include "ui/form1_layout.h"
#include "ui/qt/lamp_widget.h"
#include "ui/qt/x11_size_hints.h"

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

// A check box whose clicks only report themselves: the window decides the box's next value.
class BoxControl final : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void nextCheckState() override {}
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

Form1Widget::Form1Widget(const MonitorParts& parts, MessagePresenter& messages,
                         bool platformKeepsOnTop)
    : QWidget(nullptr, kWindowFlags),
      messages_(messages),
      platformKeepsOnTop_(platformKeepsOnTop),
      form_(*this, parts) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromStdString(windowCaption()));
  QFont captionFont = font();
  captionFont.setPointSize(layout::kCaptionPointSize);
  captionFont.setStretch(kFontStretch);
  setFont(captionFont);

  createControls();
  createContextMenu();
  // The user cannot resize the window; only ">>" changes its height.
  setFixedSize(twipsToPixels(layout::kClientWidth, logicalDpiX()),
               twipsToPixels(layout::kCreationClientHeight, logicalDpiY()));

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setTimerType(Qt::PreciseTimer);
  timer1_->setInterval(kTimer1IntervalMs);
  connect(timer1_, &QTimer::timeout, this, &Form1Widget::timer1Tick);
  // Timer1 counts from the moment the window exists.
  timer1_->start();
}

Form1Widget::~Form1Widget() = default;

void Form1Widget::createControls() {
  const int dpiX = logicalDpiX();
  const int dpiY = logicalDpiY();
  // Made in the list's order, which Qt keeps as the tab order and as the order of drawing.
  for (const ControlSpec& spec : form1Controls()) {
    QWidget* control = makeControl(spec, this);
    controls_.push_back(control);
    control->setObjectName(QString::fromStdString(spec.name));
    const PixelRect rect = pixelRect(spec.rect, dpiX, dpiY);
    control->setGeometry(rect.left, rect.top, rect.width, rect.height);
    if (!spec.accessibleName.empty()) {
      control->setAccessibleName(QString::fromStdString(spec.accessibleName));
    }
    const QString description = QString::fromStdString(spec.accessibleDescription);
    if (auto* lamp = qobject_cast<LampWidget*>(control)) {
      // A lamp's description is also its tooltip: what its slot's last probe found.
      lamp->setReportText(description, false);
    } else if (!description.isEmpty()) {
      control->setAccessibleDescription(description);
    }
    control->installEventFilter(this);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
      connect(button, &QAbstractButton::clicked, this,
              [this, control = spec.control, slot = spec.slot] { form_.clicked(control, slot); });
    }
  }
  if (!platformKeepsOnTop_) {
    control<QCheckBox>(Control::Check2, -1).setToolTip(QString::fromStdString(noOnTopToolTip()));
  }
}

void Form1Widget::createContextMenu() {
  menu_ = new QMenu(this);
  statusIcon_ = new NotificationAreaIcon(*this, form_, *menu_, bus_);
  notifications_ = new DesktopNotifications(bus_, this);
  // Its items say what they do now each time the menu opens.
  connect(menu_, &QMenu::aboutToShow, this, &Form1Widget::refreshContextMenu);
  // Shift+F10 opens it as the menu key does, wherever the focus is.
  auto* shortcut = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
  connect(shortcut, &QShortcut::activated, this,
          [this] { showContextMenu(mapToGlobal(QPoint(0, 0))); });
}

void Form1Widget::refreshContextMenu() {
  const std::vector<WatchMenuItem> items = form_.contextMenu();
  // The items are made once, at the first opening; each one's option stays where it is.
  for (std::size_t index = menuItems_.size(); index < items.size(); ++index) {
    QAction* action = menu_->addAction(QString());
    action->setCheckable(true);
    connect(action, &QAction::triggered, this, [this, option = items[index].option] {
      form_.toggle(option);
      statusIcon_->menuChanged();
    });
    menuItems_.push_back(action);
  }
  for (std::size_t index = 0; index < items.size(); ++index) {
    menuItems_[index]->setText(QString::fromStdString(items[index].text));
    menuItems_[index]->setChecked(items[index].checked);
    menuItems_[index]->setEnabled(items[index].enabled);
  }
}

template <typename T>
T& Form1Widget::control(Control kind, int slot) const {
  return *static_cast<T*>(controls_[controlIndex(kind, slot)]);
}

std::string Form1Widget::text(Control box, int slot) const {
  return control<QLineEdit>(box, slot).text().toStdString();
}

void Form1Widget::setText(Control box, int slot, const std::string& text) {
  control<QLineEdit>(box, slot).setText(QString::fromStdString(text));
}

std::int16_t Form1Widget::boxValue(Control box, int slot) const {
  switch (control<QCheckBox>(box, slot).checkState()) {
    case Qt::Checked:
      return 1;
    case Qt::PartiallyChecked:
      return 2;
    case Qt::Unchecked:
      break;
  }
  return 0;
}

void Form1Widget::setBoxValue(Control box, int slot, std::int16_t value) {
  auto& check = control<QCheckBox>(box, slot);
  // Three-state only while greyed, which only the program sets.
  check.setTristate(value == 2);
  check.setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

LampColor Form1Widget::lampColor(int slot) const {
  return control<LampWidget>(Control::Shape1, slot).color();
}

void Form1Widget::setLampColor(int slot, LampColor color) {
  control<LampWidget>(Control::Shape1, slot).setColor(color);
}

std::string Form1Widget::lampReport(int slot) const {
  return control<LampWidget>(Control::Shape1, slot).toolTip().toStdString();
}

void Form1Widget::setLampReport(int slot, const std::string& text, bool announce) {
  control<LampWidget>(Control::Shape1, slot).setReportText(QString::fromStdString(text), announce);
}

bool Form1Widget::hasNotificationArea() const {
  return statusIcon_->present();
}

StatusTextLimits Form1Widget::textLimits() const {
  // Enough for ten long addresses, and still within the screen.
  return {1000, 1000, 1000};
}

void Form1Widget::showStatusIcon(const StatusIcon& status) {
  statusIcon_->show(status);
}

void Form1Widget::hideStatusIcon() {
  statusIcon_->hide();
}

void Form1Widget::notify(const std::string& title, const std::string& text, StatusState /*state*/) {
  const QString summary = QString::fromStdString(title);
  const QString body = QString::fromStdString(text);
  // Without a session bus, the status icon's own balloon is the one way left, where it shows.
  if (!notifications_->notify(summary, body)) {
    statusIcon_->showBalloon(summary, body);
  }
}

void Form1Widget::contextMenuEvent(QContextMenuEvent* event) {
  showContextMenu(event->globalPos());
}

void Form1Widget::showContextMenu(const QPoint& at) {
  menu_->popup(at);
}

bool Form1Widget::eventFilter(QObject* watched, QEvent* event) {
  auto* control = qobject_cast<QWidget*>(watched);
  if (event->type() != QEvent::ToolTip || control == nullptr || control->toolTip().isEmpty()) {
    return QWidget::eventFilter(watched, event);
  }
  // Qt would show a tool tip that looks like markup as rich text, and the lamps' words hold
  // addresses and paths as typed: as rich text of plain words, each shows as it is.
  QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                     Qt::convertFromPlainText(control->toolTip()), control);
  return true;
}

void Form1Widget::timer1Tick() {
  // A tick that falls due before the window is shown (the first sweep may take seconds) waits
  // for the window's first paint; while it waits, further ticks add nothing.
  if (!shown_) {
    tickWaiting_ = true;
    return;
  }
  // A window that is never exposed (mapped on a workspace that is not shown, iconic, covered)
  // is never painted: the next tick no longer waits, and takes the waiting one's place.
  tickWaiting_ = false;
  form_.handlers().timer1Tick();
}

void Form1Widget::showEvent(QShowEvent* event) {
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

void Form1Widget::paintEvent(QPaintEvent* event) {
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
        form_.handlers().timer1Tick();
      }
    });
  }
}

void Form1Widget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // A window manager answers a change of size later, and may give another size than asked for.
  if (event->spontaneous()) {
    form_.handlers().clientHeightChangedBySystem(height());
  }
}

void Form1Widget::closeEvent(QCloseEvent* event) {
  // Closing is never cancelled, whatever the save does.
  event->accept();
  form_.handlers().unload();
}

int Form1Widget::clientHeight() const {
  return height();
}

int Form1Widget::verticalDpi() const {
  return logicalDpiY();
}

void Form1Widget::setClientHeight(int pixels) {
  setFixedSize(width(), pixels);
  keepExactX11Size(*this);
}

void Form1Widget::keepAbove(bool above) {
  if (!platformKeepsOnTop_) {
    return;
  }
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

void Form1Widget::showMessage(const MessageBoxContent& content, MessagePlacement placement) {
  messages_.show(placement == MessagePlacement::OverTheWindow ? this : nullptr, content);
}

void Form1Widget::stopTimer() {
  timer1_->stop();
}

void Form1Widget::showWindow() {
  control<QPushButton>(Control::Command1, -1).setFocus();
  show();
}

void Form1Widget::closeWindow() {
  close();
}

int Form1Widget::runEventLoop() {
  return QApplication::exec();
}

void Form1Widget::endEventLoop(int status) {
  if (QThread::currentThread()->loopLevel() > 0) {
    QCoreApplication::exit(status);
  }
}

}  // namespace orlo
