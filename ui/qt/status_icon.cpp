#include "ui/qt/status_icon.h"

#include <unistd.h>

#include <array>
#include <cstdint>
#include <functional>

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QPoint>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QWidget>

#include "program_identity.h"
#include "ui/form1.h"
#include "ui/qt/status_item_export.h"
#include "ui/status_watch.h"

namespace orlo {

QDBusArgument& operator<<(QDBusArgument& out, const IconPixmap& pixmap) {
  out.beginStructure();
  out << pixmap.width << pixmap.height << pixmap.argb;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, IconPixmap& pixmap) {
  in.beginStructure();
  in >> pixmap.width >> pixmap.height >> pixmap.argb;
  in.endStructure();
  return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const ToolTip& tip) {
  out.beginStructure();
  out << tip.iconName << tip.pixmaps << tip.title << tip.text;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, ToolTip& tip) {
  in.beginStructure();
  in >> tip.iconName >> tip.pixmaps >> tip.title >> tip.text;
  in.endStructure();
  return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const MenuItem& item) {
  out.beginStructure();
  out << item.id << item.properties;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, MenuItem& item) {
  in.beginStructure();
  in >> item.id >> item.properties;
  in.endStructure();
  return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const MenuLayout& layout) {
  out.beginStructure();
  out << layout.id << layout.properties;
  out.beginArray(qMetaTypeId<QDBusVariant>());
  for (const MenuItem& child : layout.children) {
    out << QDBusVariant(QVariant::fromValue(MenuLayout{child.id, child.properties, {}}));
  }
  out.endArray();
  out.endStructure();
  return out;
}

// Only the program writes layouts; a layout read back has no children.
const QDBusArgument& operator>>(const QDBusArgument& in, MenuLayout& layout) {
  in.beginStructure();
  in >> layout.id >> layout.properties;
  in.beginArray();
  while (!in.atEnd()) {
    QDBusVariant child;
    in >> child;
  }
  in.endArray();
  in.endStructure();
  return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const MenuEvent& event) {
  out.beginStructure();
  out << event.id << event.type << event.data << event.timestamp;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, MenuEvent& event) {
  in.beginStructure();
  in >> event.id >> event.type >> event.data >> event.timestamp;
  in.endStructure();
  return in;
}

namespace {

constexpr char kBusService[] = "org.freedesktop.DBus";
constexpr char kBusPath[] = "/org/freedesktop/DBus";
constexpr char kWatcherService[] = "org.kde.StatusNotifierWatcher";
constexpr char kWatcherPath[] = "/StatusNotifierWatcher";
constexpr char kItemPath[] = "/StatusNotifierItem";
constexpr char kMenuPath[] = "/MenuBar";
constexpr char kNotificationsService[] = "org.freedesktop.Notifications";
constexpr char kNotificationsPath[] = "/org/freedesktop/Notifications";
// The sizes the icon's picture is offered in; the notification area picks the nearest.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64};
// RequestName: fail rather than wait in a queue for a name another connection holds.
constexpr uint kDoNotQueue = 4;
constexpr uint kPrimaryOwner = 1;

QString latin1(const char* text) {
  return QString::fromLatin1(text);
}

QDBusMessage methodCall(const char* service, const char* path, const char* interface,
                        const char* method) {
  return QDBusMessage::createMethodCall(latin1(service), latin1(path), latin1(interface),
                                        latin1(method));
}

// Sends the call and hands its answer, or its error, to answered when it comes, on the thread of
// context and only while context lives.
void whenAnswered(QDBusConnection& bus, const QDBusMessage& call, QObject* context,
                  std::function<void(const QDBusMessage&)> answered) {
  auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(call), context);
  QObject::connect(pending, &QDBusPendingCallWatcher::finished, context,
                   [answered = std::move(answered)](QDBusPendingCallWatcher* done) {
                     done->deleteLater();
                     answered(done->reply());
                   });
}

// The hover text without the program's name before it, which the tool tip gives as its title.
std::string hoverSummary(const std::string& hoverText) {
  const std::string prefix = std::string(identity::kProductName) + ": ";
  return hoverText.starts_with(prefix) ? hoverText.substr(prefix.size()) : hoverText;
}

// The properties asked for; all where none is named.
QVariantMap onlyNamed(const QVariantMap& properties, const QStringList& names) {
  if (names.isEmpty()) {
    return properties;
  }
  QVariantMap chosen;
  for (const QString& name : names) {
    if (properties.contains(name)) {
      chosen.insert(name, properties.value(name));
    }
  }
  return chosen;
}

}  // namespace

QDBusConnection& SessionBus::connection() {
  if (!connection_) {
    connection_ = QDBusConnection::sessionBus();
  }
  return *connection_;
}

BusNameOwner::BusNameOwner(QDBusConnection& bus, const QString& name, QObject* parent)
    : QObject(parent) {
  auto* watch = new QDBusServiceWatcher(name, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(watch, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& owner) { seen(owner); });
  QDBusMessage ask = methodCall(kBusService, kBusPath, kBusService, "GetNameOwner");
  ask << name;
  // The bus daemon answers with the owner, or with an error when there is none. Any change
  // after the watch began comes after that answer, so the last word is the latest.
  whenAnswered(bus, ask, this, [this](const QDBusMessage& answer) {
    seen(answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty()
             ? answer.arguments().constFirst().toString()
             : QString());
  });
}

void BusNameOwner::seen(const QString& owner) {
  if (owner_ == owner) {
    return;
  }
  owner_ = owner;
  emit changed(owner);
}

ItemExport::ItemExport(QObject* object, QDBusObjectPath menuPath, std::function<void()> activate,
                       std::function<void(QPoint)> contextMenu)
    : QDBusAbstractAdaptor(object),
      menuPath_(std::move(menuPath)),
      activate_(std::move(activate)),
      contextMenu_(std::move(contextMenu)) {}

void ItemExport::set(StatusState state, const std::string& hoverText) {
  IconPixmaps& pixmaps = pixmapsByState_[static_cast<std::size_t>(state)];
  if (pixmaps.isEmpty()) {
    for (const int size : kIconSizes) {
      QByteArray argb;
      argb.reserve(qsizetype{size} * size * 4);
      for (const std::uint32_t pixel : statusIconImage(state, size)) {
        for (const int shift : {24, 16, 8, 0}) {
          argb.append(static_cast<char>((pixel >> shift) & 0xFF));
        }
      }
      pixmaps.push_back({size, size, argb});
    }
  }
  if (state_ != state) {
    state_ = state;
    emit NewIcon();
  }
  const QString text = QString::fromStdString(markupEscaped(hoverSummary(hoverText)));
  if (text != tipText_) {
    tipText_ = text;
    emit NewToolTip();
  }
}

QString ItemExport::category() {
  return QStringLiteral("ApplicationStatus");
}

QString ItemExport::id() {
  return QStringLiteral("orlo-monitor");
}

QString ItemExport::title() {
  return latin1(identity::kProductName);
}

QString ItemExport::status() {
  return QStringLiteral("Active");
}

QString ItemExport::iconName() {
  return {};
}

IconPixmaps ItemExport::iconPixmap() const {
  return state_ ? pixmapsByState_[static_cast<std::size_t>(*state_)] : IconPixmaps();
}

ToolTip ItemExport::toolTip() const {
  return {{}, {}, title(), tipText_};
}

bool ItemExport::itemIsMenu() {
  return false;
}

QDBusObjectPath ItemExport::menu() const {
  return menuPath_;
}

void ItemExport::Activate(int /*x*/, int /*y*/) {
  activate_();
}

void ItemExport::SecondaryActivate(int /*x*/, int /*y*/) {
  activate_();
}

void ItemExport::ContextMenu(int x, int y) {
  contextMenu_(QPoint(x, y));
}

void ItemExport::Scroll(int /*delta*/, const QString& /*orientation*/) {}

MenuExport::MenuExport(QObject* object, Form1& form) : QDBusAbstractAdaptor(object), form_(form) {}

bool MenuExport::refresh() {
  QList<MenuItem> items;
  options_.clear();
  for (const WatchMenuItem& each : form_.contextMenu()) {
    options_.push_back(each.option);
    // An underscore marks the access key: a plain one is doubled.
    const QString label =
        QString::fromStdString(each.text).replace(QLatin1Char('_'), QStringLiteral("__"));
    items.push_back({static_cast<int>(options_.size()),
                     {{QStringLiteral("label"), label},
                      {QStringLiteral("toggle-type"), QStringLiteral("checkmark")},
                      {QStringLiteral("toggle-state"), each.checked ? 1 : 0},
                      {QStringLiteral("enabled"), each.enabled}}});
  }
  const bool changed =
      items.size() != items_.size() || !std::equal(items.begin(), items.end(), items_.begin(),
                                                   [](const MenuItem& one, const MenuItem& other) {
                                                     return one.properties == other.properties;
                                                   });
  if (changed) {
    items_ = items;
    emit LayoutUpdated(++revision_, 0);
  }
  return changed;
}

uint MenuExport::version() {
  return 3;
}

QString MenuExport::textDirection() {
  return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                               : QStringLiteral("ltr");
}

QString MenuExport::status() {
  return QStringLiteral("normal");
}

QStringList MenuExport::iconThemePath() {
  return {};
}

uint MenuExport::GetLayout(int parentId, int /*recursionDepth*/, const QStringList& names,
                           MenuLayout& layout) {
  if (const MenuItem* item = find(parentId)) {
    layout = {item->id, onlyNamed(item->properties, names), {}};
  } else {
    layout = {0, {{QStringLiteral("children-display"), QStringLiteral("submenu")}}, {}};
    for (const MenuItem& each : items_) {
      layout.children.push_back({each.id, onlyNamed(each.properties, names)});
    }
  }
  return revision_;
}

QList<MenuItem> MenuExport::GetGroupProperties(const QList<int>& ids, const QStringList& names) {
  QList<MenuItem> found;
  for (const MenuItem& each : items_) {
    if (ids.isEmpty() || ids.contains(each.id)) {
      found.push_back({each.id, onlyNamed(each.properties, names)});
    }
  }
  return found;
}

QDBusVariant MenuExport::GetProperty(int id, const QString& name) {
  const MenuItem* item = find(id);
  return QDBusVariant(item != nullptr ? item->properties.value(name) : QVariant());
}

void MenuExport::Event(int id, const QString& type, const QDBusVariant& /*data*/,
                       uint /*timestamp*/) {
  if (find(id) == nullptr || type != QLatin1String("clicked")) {
    return;
  }
  // After the answer: a choice may show a box, which must not hold the call.
  QMetaObject::invokeMethod(
      this,
      [this, option = options_[static_cast<std::size_t>(id - 1)]] {
        form_.toggle(option);
        refresh();
      },
      Qt::QueuedConnection);
}

QList<int> MenuExport::EventGroup(const QList<MenuEvent>& events) {
  QList<int> unknown;
  for (const MenuEvent& each : events) {
    if (find(each.id) == nullptr) {
      unknown.push_back(each.id);
    }
    Event(each.id, each.type, each.data, each.timestamp);
  }
  return unknown;
}

bool MenuExport::AboutToShow(int /*id*/) {
  return refresh();
}

QList<int> MenuExport::AboutToShowGroup(const QList<int>& /*ids*/, QList<int>& idErrors) {
  idErrors.clear();
  return refresh() ? QList<int>{0} : QList<int>{};
}

const MenuItem* MenuExport::find(int id) const {
  return id >= 1 && id <= items_.size() ? &items_[id - 1] : nullptr;
}

NotificationAreaIcon::NotificationAreaIcon(QWidget& window, Form1& form, QMenu& menu,
                                           SessionBus& bus)
    : QObject(&window), window_(window), form_(form), menu_(menu), bus_(bus) {}

void NotificationAreaIcon::follow() {
  if (watcher_ != nullptr || !bus_.connection().isConnected()) {
    return;
  }
  watcher_ = new BusNameOwner(bus_.connection(), latin1(kWatcherService), this);
  connect(watcher_, &BusNameOwner::changed, this, [this](const QString& owner) {
    if (!owner.isEmpty() && nameAsked_) {
      registerWithWatcher();
    }
    update();
  });
}

bool NotificationAreaIcon::present() {
  follow();
  if (watcher_ != nullptr && (!watcher_->owner() || !watcher_->owner()->isEmpty())) {
    return true;  // a watcher, or not known yet
  }
  // Only now that no watcher owns the name, or there is no bus, may Qt check: it asks the bus
  // about the watcher, and the bus daemon answers that at once.
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void NotificationAreaIcon::show(const StatusIcon& icon) {
  shown_ = icon;
  follow();
  update();
}

void NotificationAreaIcon::hide() {
  shown_.reset();
  update();
}

void NotificationAreaIcon::menuChanged() {
  if (menuExport_ != nullptr) {
    menuExport_->refresh();
  }
}

bool NotificationAreaIcon::showBalloon(const QString& title, const QString& text) {
  if (systemTray_ == nullptr || !systemTray_->isVisible()) {
    return false;
  }
  systemTray_->showMessage(title, text);
  return true;
}

void NotificationAreaIcon::update() {
  const bool noWatcher = watcher_ == nullptr || (watcher_->owner() && watcher_->owner()->isEmpty());
  if (shown_ && noWatcher) {
    showInSystemTray();
    return;
  }
  if (systemTray_ != nullptr) {
    // Later: this may run inside a choice from its own menu.
    systemTray_->deleteLater();
    systemTray_ = nullptr;
  }
  if (!shown_) {
    if (nameAsked_ && itemName_ != bus_.connection().baseService()) {
      // The watcher forgets an item whose name goes.
      QDBusMessage release = methodCall(kBusService, kBusPath, kBusService, "ReleaseName");
      release << itemName_;
      bus_.connection().send(release);
    }
    nameAsked_ = false;
    return;
  }
  if (item_ == nullptr) {
    auto* itemObject = new QObject(this);
    item_ = new ItemExport(
        itemObject, QDBusObjectPath(latin1(kMenuPath)),
        [this] {
          window_.showNormal();
          window_.raise();
          window_.activateWindow();
        },
        [this](QPoint at) { menu_.popup(at); });
    auto* menuObject = new QObject(this);
    menuExport_ = new MenuExport(menuObject, form_);
    menuExport_->refresh();
    qDBusRegisterMetaType<IconPixmap>();
    qDBusRegisterMetaType<IconPixmaps>();
    qDBusRegisterMetaType<ToolTip>();
    qDBusRegisterMetaType<MenuItem>();
    qDBusRegisterMetaType<QList<MenuItem>>();
    qDBusRegisterMetaType<MenuLayout>();
    qDBusRegisterMetaType<MenuEvent>();
    qDBusRegisterMetaType<QList<MenuEvent>>();
    bus_.connection().registerObject(latin1(kItemPath), itemObject,
                                     QDBusConnection::ExportAdaptors);
    bus_.connection().registerObject(latin1(kMenuPath), menuObject,
                                     QDBusConnection::ExportAdaptors);
  }
  item_->set(shown_->state, shown_->hoverText);
  if (!watcher_->owner()) {
    return;  // registered once the bus says who watches
  }
  requestName();
}

void NotificationAreaIcon::requestName() {
  if (nameAsked_) {
    return;
  }
  nameAsked_ = true;
  // A name of the item's own, so that hiding it is letting the name go.
  itemName_ = QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(::getpid());
  QDBusMessage request = methodCall(kBusService, kBusPath, kBusService, "RequestName");
  request << itemName_ << kDoNotQueue;
  whenAnswered(bus_.connection(), request, this, [this](const QDBusMessage& answer) {
    if (!nameAsked_) {
      return;  // hidden meanwhile, and so let go
    }
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty() ||
        answer.arguments().constFirst().toUInt() != kPrimaryOwner) {
      itemName_ = bus_.connection().baseService();  // a watcher takes the connection's name too
    }
    registerWithWatcher();
  });
}

void NotificationAreaIcon::registerWithWatcher() {
  QDBusMessage call =
      methodCall(kWatcherService, kWatcherPath, kWatcherService, "RegisterStatusNotifierItem");
  call << itemName_;
  // Its answer says nothing the program acts on: a watcher that fails it is one that has gone,
  // and the next one is registered with when it takes the name.
  bus_.connection().send(call);
}

void NotificationAreaIcon::showInSystemTray() {
  if (systemTray_ == nullptr) {
    systemTray_ = new QSystemTrayIcon(this);
    systemTray_->setContextMenu(&menu_);
    connect(systemTray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
              if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                window_.showNormal();
                window_.raise();
                window_.activateWindow();
              }
            });
  }
  systemTray_->setIcon(iconOf(shown_->state));
  // Qt shows this tool tip as rich text where it looks like some: as rich text of plain words,
  // an address shows as it was typed, and an <img> loads nothing.
  systemTray_->setToolTip(Qt::convertFromPlainText(QString::fromStdString(shown_->hoverText)));
  systemTray_->show();
}

const QIcon& NotificationAreaIcon::iconOf(StatusState state) {
  std::optional<QIcon>& icon = icons_[static_cast<std::size_t>(state)];
  if (!icon) {
    icon.emplace();
    for (const int size : kIconSizes) {
      std::vector<std::uint32_t> pixels = statusIconImage(state, size);
      icon->addPixmap(QPixmap::fromImage(
          QImage(reinterpret_cast<const uchar*>(pixels.data()), size, size, QImage::Format_ARGB32)
              .copy()));
    }
  }
  return *icon;
}

DesktopNotifications::DesktopNotifications(SessionBus& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

bool DesktopNotifications::notify(const QString& title, const QString& text) {
  if (!bus_.connection().isConnected()) {
    return false;
  }
  if (service_ == nullptr) {
    // The first word from the bus, and each new owner, asks the service what it reads; without
    // an owner the bus answers that at once.
    service_ = new BusNameOwner(bus_.connection(), latin1(kNotificationsService), this);
    connect(service_, &BusNameOwner::changed, this, &DesktopNotifications::askCapabilities);
  }
  waiting_.emplace_back(title, text);
  sendWaiting();
  return true;
}

void DesktopNotifications::askCapabilities() {
  bodyMarkup_.reset();
  whenAnswered(
      bus_.connection(),
      methodCall(kNotificationsService, kNotificationsPath, kNotificationsService,
                 "GetCapabilities"),
      this, [this](const QDBusMessage& answer) {
        // A service that cannot say is sent plain text, as the most take it.
        bodyMarkup_ =
            answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
            answer.arguments().constFirst().toStringList().contains(QStringLiteral("body-markup"));
        sendWaiting();
      });
}

void DesktopNotifications::sendWaiting() {
  if (!bodyMarkup_) {
    return;
  }
  for (const auto& [title, text] : waiting_) {
    QDBusMessage call =
        methodCall(kNotificationsService, kNotificationsPath, kNotificationsService, "Notify");
    const QString body =
        *bodyMarkup_ ? QString::fromStdString(markupEscaped(text.toStdString())) : text;
    call << title << 0U << QString() << title << body << QStringList() << QVariantMap() << -1;
    // The answer, the notification's number, is of no use: nothing waits for it.
    bus_.connection().send(call);
  }
  waiting_.clear();
}

}  // namespace orlo
