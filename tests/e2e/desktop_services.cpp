// Stands in for a desktop's notification area and notification service on a private D-Bus
// session bus, for the end-to-end test of the status icon and the notifications. It offers
// org.kde.StatusNotifierWatcher, with a host registered, so that Qt puts its tray icon there, and
// org.freedesktop.Notifications, and prints a line for each thing it sees:
//   ready
//   notification <summary>: <body as received, its lines joined by " / ">
//   icon <RRGGBB> <tool tip title>: <tool tip text>
//   menu <label> [x] / <label> [ ] / <label> [ ] (greyed) ...
// The icon line comes each time the latest registered item's picture or tool tip changes; the
// colour is that of its largest picture half way from the centre to the top. The menu line comes
// each time the item's menu (com.canonical.dbusmenu) changes: each item's label, whether it is
// ticked, and whether it is greyed. As a panel does, it reads the item's properties again after
// each of its signals and the menu's layout after each LayoutUpdated.
//
// usage: desktop_services [--body-markup] (with DBUS_SESSION_BUS_ADDRESS naming the bus)
// With --body-markup the notification service says that it reads markup in the body.

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <cstdio>

namespace {

void say(const QString& line) {
  std::printf("%s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

class Watcher final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

 public:
  explicit Watcher(QObject* object) : QDBusAbstractAdaptor(object) {}
  bool hostRegistered() const { return true; }

 public slots:
  void RegisterStatusNotifierItem(const QString& item, const QDBusMessage& message) {
    emit StatusNotifierItemRegistered(item.startsWith(QLatin1Char('/')) ? message.service() : item);
  }

 signals:
  void StatusNotifierItemRegistered(const QString& item);
};

class Notifications final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  Notifications(QObject* object, bool bodyMarkup)
      : QDBusAbstractAdaptor(object), bodyMarkup_(bodyMarkup) {}

 public slots:
  QStringList GetCapabilities() {
    return bodyMarkup_ ? QStringList{QStringLiteral("body"), QStringLiteral("body-markup")}
                       : QStringList{QStringLiteral("body")};
  }
  uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap&, int) {
    say(QStringLiteral("notification ") + summary + QStringLiteral(": ") +
        QString(body).replace(QLatin1Char('\n'), QStringLiteral(" / ")));
    return ++shown_;
  }

 private:
  bool bodyMarkup_;
  uint shown_ = 0;
};

// Reads an array of pictures (a(iiay)); returns the colour of the largest one as "RRGGBB".
QString pictureColour(const QDBusArgument& pictures) {
  QString colour = QStringLiteral("none");
  int largest = 0;
  pictures.beginArray();
  while (!pictures.atEnd()) {
    int width = 0;
    int height = 0;
    QByteArray argb;  // in network byte order
    pictures.beginStructure();
    pictures >> width >> height >> argb;
    pictures.endStructure();
    const qsizetype at = (static_cast<qsizetype>(height / 4) * width + width / 2) * 4;
    if (width > largest && argb.size() >= at + 4) {
      largest = width;
      colour = QString::fromLatin1(argb.mid(at + 1, 3).toHex()).toUpper();
    }
  }
  pictures.endArray();
  return colour;
}

// The item's picture colour and tool tip, from all its properties.
QString itemState(const QVariantMap& properties) {
  const auto tip = properties.value(QStringLiteral("ToolTip")).value<QDBusArgument>();
  QString iconName;
  QString title;
  QString text;
  tip.beginStructure();
  tip >> iconName;
  pictureColour(tip);
  tip >> title >> text;
  tip.endStructure();
  return pictureColour(properties.value(QStringLiteral("IconPixmap")).value<QDBusArgument>()) +
         QLatin1Char(' ') + title + (text.isEmpty() ? QString() : QStringLiteral(": ") + text);
}

// Reads one node of a menu's layout, (ia{sv}av): its properties, and its children's nodes.
QVariantMap menuNode(const QDBusArgument& node, QList<QDBusArgument>& children) {
  int id = 0;
  QVariantMap properties;
  node.beginStructure();
  node >> id >> properties;
  node.beginArray();
  while (!node.atEnd()) {
    QDBusVariant child;
    node >> child;
    children.push_back(child.variant().value<QDBusArgument>());
  }
  node.endArray();
  node.endStructure();
  return properties;
}

// The root's items, each "<label> [x]" or "<label> [ ]", with " (greyed)" when disabled, joined
// by " / ".
QString menuState(const QDBusArgument& layout) {
  QList<QDBusArgument> nodes;
  menuNode(layout, nodes);
  QStringList items;
  for (const QDBusArgument& node : nodes) {
    QList<QDBusArgument> none;
    const QVariantMap item = menuNode(node, none);
    items.push_back(
        item.value(QStringLiteral("label")).toString() +
        (item.value(QStringLiteral("toggle-state")).toInt() == 1 ? QStringLiteral(" [x]")
                                                                 : QStringLiteral(" [ ]")) +
        (item.value(QStringLiteral("enabled"), true).toBool() ? QString()
                                                              : QStringLiteral(" (greyed)")));
  }
  return items.join(QStringLiteral(" / "));
}

// Reads a registered item's state each time the item says that its picture or tool tip changed,
// and its menu each time the menu says that its layout changed, as a desktop's notification area
// does, without waiting for the answer: the program may call here meanwhile. Prints a line only
// when the state changed.
class ItemReader final : public QObject {
  Q_OBJECT

 public slots:
  void follow(const QString& item) {
    item_ = item;
    menu_.clear();  // the new item's menu is followed from its properties
    for (const char* change : {"NewIcon", "NewToolTip"}) {
      QDBusConnection::sessionBus().connect(item, QStringLiteral("/StatusNotifierItem"),
                                            QStringLiteral("org.kde.StatusNotifierItem"),
                                            QString::fromLatin1(change), this, SLOT(read()));
    }
    read();
  }
  void read() {
    QDBusMessage getAll = QDBusMessage::createMethodCall(
        item_, QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    getAll << QStringLiteral("org.kde.StatusNotifierItem");
    auto* call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(getAll), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
      done->deleteLater();
      const QDBusPendingReply<QVariantMap> reply = *done;
      const QString state = reply.isError() ? QString() : itemState(reply.value());
      if (!state.isEmpty() && state != shown_) {
        shown_ = state;
        say(QStringLiteral("icon ") + state);
      }
      const QString menu =
          reply.isError()
              ? QString()
              : reply.value().value(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
      if (!menu.isEmpty() && menu != menu_) {
        menu_ = menu;
        QDBusConnection::sessionBus().connect(
            item_, menu_, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("LayoutUpdated"),
            this, SLOT(readMenu()));
        readMenu();
      }
    });
  }
  void readMenu() {
    QDBusMessage getLayout = QDBusMessage::createMethodCall(
        item_, menu_, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
    getLayout << 0 << -1 << QStringList();
    auto* call =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(getLayout), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
      done->deleteLater();
      const QDBusMessage reply = done->reply();
      if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2) {
        return;
      }
      const QString state = menuState(reply.arguments().at(1).value<QDBusArgument>());
      if (state != shownMenu_) {
        shownMenu_ = state;
        say(QStringLiteral("menu ") + state);
      }
    });
  }

 private:
  QString item_;
  QString shown_;
  QString menu_;
  QString shownMenu_;
};

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication application(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  QObject watcherObject;
  auto* watcher = new Watcher(&watcherObject);
  QObject notificationsObject;
  new Notifications(&notificationsObject,
                    QCoreApplication::arguments().contains(QStringLiteral("--body-markup")));
  if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcherObject) ||
      !bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notificationsObject) ||
      !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")) ||
      !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
    std::fprintf(stderr, "desktop_services: %s\n", bus.lastError().message().toUtf8().constData());
    return 2;
  }
  ItemReader reader;
  QObject::connect(watcher, &Watcher::StatusNotifierItemRegistered, &reader, &ItemReader::follow);
  say(QStringLiteral("ready"));
  return QCoreApplication::exec();
}

#include "desktop_services.moc"
