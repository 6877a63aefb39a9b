#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace brenvo {

// One entry of the status icon's menu.
struct StatusMenuEntry {
    QString label;  // plain text; a "_" is doubled for the host
    bool enabled = true;
    bool separator = false;
    std::function<void()> triggered;
};

// The com.canonical.dbusmenu wire types.
struct DBusMenuLayout {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayout> children;
};
struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayout& layout);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayout& layout);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& event);

// A flat menu exported as com.canonical.dbusmenu (what panels read for a
// StatusNotifierItem's menu). Entry ids are never reused, so a click on an
// entry of a menu the host drew before an update is ignored rather than
// taken for another entry.
class StatusIconMenu : public QObject {
    Q_OBJECT
public:
    explicit StatusIconMenu(QObject* parent = nullptr);

    void setEntries(QList<StatusMenuEntry> entries);

    // For the adaptor.
    uint revision() const { return m_revision; }
    DBusMenuLayout layout(int parentId, int depth, const QStringList& names) const;
    QVariantMap properties(int id, const QStringList& names) const;
    bool contains(int id) const { return id == 0 || indexOf(id) >= 0; }
    // A "clicked" event on an entry: runs it (later, on the main loop).
    void clicked(int id);

signals:
    void layoutUpdated(uint revision, int parent);

private:
    qsizetype indexOf(int id) const;

    QList<StatusMenuEntry> m_entries;
    QList<int> m_ids;
    int m_nextId = 1;
    uint m_revision = 1;
};

class StatusIconMenuAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
public:
    explicit StatusIconMenuAdaptor(StatusIconMenu* menu);

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    // QtDBus finds the parameters' types by the names written here: in full.
public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames, brenvo::DBusMenuLayout& layout);
    QList<brenvo::DBusMenuItemProperties> GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const QList<brenvo::DBusMenuEvent>& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    StatusIconMenu* m_menu;
};

// Registers the menu's wire types with QtDBus (idempotent).
void registerDBusMenuTypes();

}  // namespace brenvo

Q_DECLARE_METATYPE(brenvo::DBusMenuLayout)
Q_DECLARE_METATYPE(brenvo::DBusMenuItemProperties)
Q_DECLARE_METATYPE(brenvo::DBusMenuEvent)
