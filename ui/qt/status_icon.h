#pragma once

#include <array>
#include <optional>
#include <utility>
#include <vector>

#include <QDBusConnection>
#include <QIcon>
#include <QObject>
#include <QString>

#include "ui/status_texts.h"

class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace orlo {

class Form1;
class ItemExport;
class MenuExport;

// The desktop's notification area and notification service, reached over the session bus.
// Nothing here ever waits for a desktop service: a hung panel or notification daemon can hold
// none of the window's events. Every call to one is sent without waiting, or its answer is taken
// when it comes; who owns a service's name is followed through the bus daemon the same way.

// The session bus, connected on first use only, so that a monitor that uses neither the icon nor
// the notifications never connects. Connecting waits for the bus daemon alone, once.
class SessionBus {
 public:
  QDBusConnection& connection();

 private:
  std::optional<QDBusConnection> connection_;
};

// Who owns a name on the bus, as last seen: a watch on the name's owner, and one question to the
// bus daemon whose answer comes later. Until it comes, the owner is unknown.
class BusNameOwner final : public QObject {
  Q_OBJECT

 public:
  BusNameOwner(QDBusConnection& bus, const QString& name, QObject* parent);

  // Empty when nobody owns the name; nothing while the bus has not said.
  const std::optional<QString>& owner() const { return owner_; }

 signals:
  // The name has a new owner, or has none any more (empty).
  void changed(const QString& owner);

 private:
  void seen(const QString& owner);

  std::optional<QString> owner_;
};

// The status icon in the desktop's notification area. Where a notification area watches for
// them (org.kde.StatusNotifierWatcher has an owner), the icon is a StatusNotifierItem of its own
// with its menu (com.canonical.dbusmenu): registered again whenever the watcher's name gets a
// new owner, as when a panel restarts or starts after the program, and left alone while a hung
// panel answers nothing. Where the bus knows no such watcher, the icon goes to the older X11
// system tray through QSystemTrayIcon, whose own check of the bus is answered at once by the bus
// daemon then, since nobody owns the name it asks about.
class NotificationAreaIcon final : public QObject {
  Q_OBJECT

 public:
  // window: brought back by a click on the icon; form: the menu's items and what a choice does;
  // menu: the window's context menu, shown where the notification area asks the program to.
  // What it registers on the bus goes from the bus with it.
  NotificationAreaIcon(QWidget& window, Form1& form, QMenu& menu, SessionBus& bus);

  // Whether the desktop has a notification area, as last seen, which starts following it; while
  // nothing has been seen yet, it is given the benefit of the doubt.
  bool present();
  void show(const StatusIcon& icon);
  void hide();
  // The menu's items may have changed: the notification area's copy follows.
  void menuChanged();
  // A balloon from the system tray icon; false where that is not what shows the icon.
  bool showBalloon(const QString& title, const QString& text);

 private:
  void follow();
  void update();
  void requestName();
  void registerWithWatcher();
  void showInSystemTray();
  const QIcon& iconOf(StatusState state);

  QWidget& window_;
  Form1& form_;
  QMenu& menu_;
  SessionBus& bus_;
  BusNameOwner* watcher_ = nullptr;
  ItemExport* item_ = nullptr;
  MenuExport* menuExport_ = nullptr;
  QSystemTrayIcon* systemTray_ = nullptr;
  std::optional<StatusIcon> shown_;  // what is to be shown; nothing while hidden
  QString itemName_;                 // the bus name the item is reached by
  bool nameAsked_ = false;           // held or asked for
  std::array<std::optional<QIcon>, 3> icons_;
};

// The desktop's notification service (org.freedesktop.Notifications). Its capabilities are
// asked once, and again whenever its name gets a new owner; a notification waits for that
// answer, in this program and never in the service, and is then sent without waiting for the
// service's answer. The text is escaped where the service reads markup in it.
class DesktopNotifications final : public QObject {
  Q_OBJECT

 public:
  DesktopNotifications(SessionBus& bus, QObject* parent);

  // False where no session bus takes the notification.
  bool notify(const QString& title, const QString& text);

 private:
  void askCapabilities();
  void sendWaiting();

  SessionBus& bus_;
  BusNameOwner* service_ = nullptr;
  std::optional<bool> bodyMarkup_;  // nothing until the service has answered
  std::vector<std::pair<QString, QString>> waiting_;
};

}  // namespace orlo
