#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "ui/status_texts.h"
#include "ui/status_watch.h"

namespace orlo {

class Form1;

// What the status icon puts on the session bus for a notification area to read: the icon as a
// StatusNotifierItem and its menu as a com.canonical.dbusmenu, with the D-Bus structures of both.

// One picture: width, height and ARGB32 pixels in network byte order, (iiay).
struct IconPixmap {
  int width = 0;
  int height = 0;
  QByteArray argb;
};
using IconPixmaps = QList<IconPixmap>;

// The icon's tool tip, (sa(iiay)ss): an icon name, pictures, a title and a text.
struct ToolTip {
  QString iconName;
  IconPixmaps pixmaps;
  QString title;
  QString text;
};

// A menu item and its properties, (ia{sv}).
struct MenuItem {
  int id = 0;
  QVariantMap properties;
};

// A menu item with its children, (ia{sv}av): each child a variant holding the same structure.
struct MenuLayout {
  int id = 0;
  QVariantMap properties;
  QList<MenuItem> children;
};

// An event on a menu item, (isvu).
struct MenuEvent {
  int id = 0;
  QString type;
  QDBusVariant data;
  uint timestamp = 0;
};

QDBusArgument& operator<<(QDBusArgument& out, const IconPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& in, IconPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& out, const ToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& in, ToolTip& tip);
QDBusArgument& operator<<(QDBusArgument& out, const MenuItem& item);
const QDBusArgument& operator>>(const QDBusArgument& in, MenuItem& item);
QDBusArgument& operator<<(QDBusArgument& out, const MenuLayout& layout);
const QDBusArgument& operator>>(const QDBusArgument& in, MenuLayout& layout);
QDBusArgument& operator<<(QDBusArgument& out, const MenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& in, MenuEvent& event);

// The icon as a StatusNotifierItem (org.kde.StatusNotifierItem): its properties, what a click on
// it does, and the signals that tell the notification area to read the picture or the tool tip
// again, sent only when they changed. The types in the slots and properties are written in full,
// as Qt finds their D-Bus types by those names.
class ItemExport final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
  Q_PROPERTY(QString Category READ category)
  Q_PROPERTY(QString Id READ id)
  Q_PROPERTY(QString Title READ title)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(QString IconName READ iconName)
  Q_PROPERTY(orlo::IconPixmaps IconPixmap READ iconPixmap)
  Q_PROPERTY(orlo::ToolTip ToolTip READ toolTip)
  Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
  Q_PROPERTY(QDBusObjectPath Menu READ menu)

 public:
  // object: what is registered at the item's path; menuPath: where its menu is.
  ItemExport(QObject* object, QDBusObjectPath menuPath, std::function<void()> activate,
             std::function<void(QPoint)> contextMenu);

  // The picture of the state and the hover text, escaped: a notification area may read the tool
  // tip's text as markup.
  void set(StatusState state, const std::string& hoverText);

  static QString category();
  static QString id();
  static QString title();
  static QString status();
  static QString iconName();
  IconPixmaps iconPixmap() const;
  ToolTip toolTip() const;
  static bool itemIsMenu();
  QDBusObjectPath menu() const;

 public slots:
  void Activate(int x, int y);
  void SecondaryActivate(int x, int y);
  void ContextMenu(int x, int y);
  void Scroll(int delta, const QString& orientation);

 signals:
  void NewIcon();
  void NewToolTip();
  void NewTitle();
  void NewStatus(const QString& status);

 private:
  QDBusObjectPath menuPath_;
  std::function<void()> activate_;
  std::function<void(QPoint)> contextMenu_;
  std::array<IconPixmaps, 3> pixmapsByState_;  // made once for each state
  std::optional<StatusState> state_;
  QString tipText_;
};

// The icon's menu (com.canonical.dbusmenu): the window's context menu as check items under one
// root. The notification area holds a copy, read again after LayoutUpdated, which is sent only
// when an item changed.
class MenuExport final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
  Q_PROPERTY(uint Version READ version)
  Q_PROPERTY(QString TextDirection READ textDirection)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

 public:
  MenuExport(QObject* object, Form1& form);

  // Reads the items again; tells the notification area when they changed.
  bool refresh();

  static uint version();
  static QString textDirection();
  static QString status();
  static QStringList iconThemePath();

 public slots:
  uint GetLayout(int parentId, int recursionDepth, const QStringList& names,
                 orlo::MenuLayout& layout);
  QList<orlo::MenuItem> GetGroupProperties(const QList<int>& ids, const QStringList& names);
  QDBusVariant GetProperty(int id, const QString& name);
  void Event(int id, const QString& type, const QDBusVariant& data, uint timestamp);
  QList<int> EventGroup(const QList<orlo::MenuEvent>& events);
  bool AboutToShow(int id);
  QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

 signals:
  void LayoutUpdated(uint revision, int parent);

 private:
  const MenuItem* find(int id) const;

  Form1& form_;
  QList<MenuItem> items_;
  std::vector<WatchOption> options_;
  uint revision_ = 0;
};

}  // namespace orlo

Q_DECLARE_METATYPE(orlo::IconPixmap)
Q_DECLARE_METATYPE(orlo::ToolTip)
Q_DECLARE_METATYPE(orlo::MenuItem)
Q_DECLARE_METATYPE(orlo::MenuLayout)
Q_DECLARE_METATYPE(orlo::MenuEvent)
