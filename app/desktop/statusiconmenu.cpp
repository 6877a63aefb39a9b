#include "app/desktop/statusiconmenu.h"

#include <QDBusMetaType>
#include <QGuiApplication>
#include <QTimer>

namespace brenvo {

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuLayout& layout)
{
    arg.beginStructure();
    arg << layout.id << layout.properties;
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayout& child : layout.children)
        arg << QDBusVariant(QVariant::fromValue(child));
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuLayout& layout)
{
    arg.beginStructure();
    arg >> layout.id >> layout.properties;
    layout.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant variant;
        arg >> variant;
        DBusMenuLayout child;
        qvariant_cast<QDBusArgument>(variant.variant()) >> child;
        layout.children.append(child);
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuItemProperties& item)
{
    arg.beginStructure();
    arg << item.id << item.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuItemProperties& item)
{
    arg.beginStructure();
    arg >> item.id >> item.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const DBusMenuEvent& event)
{
    arg.beginStructure();
    arg << event.id << event.eventId << event.data << event.timestamp;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, DBusMenuEvent& event)
{
    arg.beginStructure();
    arg >> event.id >> event.eventId >> event.data >> event.timestamp;
    arg.endStructure();
    return arg;
}

void registerDBusMenuTypes()
{
    qDBusRegisterMetaType<DBusMenuLayout>();
    qDBusRegisterMetaType<DBusMenuItemProperties>();
    qDBusRegisterMetaType<QList<DBusMenuItemProperties>>();
    qDBusRegisterMetaType<DBusMenuEvent>();
    qDBusRegisterMetaType<QList<DBusMenuEvent>>();
    qDBusRegisterMetaType<QList<int>>();
}

StatusIconMenu::StatusIconMenu(QObject* parent) : QObject(parent) { registerDBusMenuTypes(); }

void StatusIconMenu::setEntries(QList<StatusMenuEntry> entries)
{
    m_entries = std::move(entries);
    m_ids.clear();
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        m_ids.append(m_nextId++);
    ++m_revision;
    emit layoutUpdated(m_revision, 0);
}

qsizetype StatusIconMenu::indexOf(int id) const { return m_ids.indexOf(id); }

QVariantMap StatusIconMenu::properties(int id, const QStringList& names) const
{
    QVariantMap all;
    if (id == 0) {
        all.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    } else if (const qsizetype index = indexOf(id); index >= 0) {
        const StatusMenuEntry& entry = m_entries[index];
        if (entry.separator) {
            all.insert(QStringLiteral("type"), QStringLiteral("separator"));
        } else {
            // The host reads "_" as the mark of an access key.
            QString label = entry.label;
            label.replace(QLatin1Char('_'), QStringLiteral("__"));
            all.insert(QStringLiteral("label"), label);
            all.insert(QStringLiteral("enabled"), entry.enabled);
        }
    }
    if (names.isEmpty())
        return all;
    QVariantMap asked;
    for (const QString& name : names)
        if (all.contains(name))
            asked.insert(name, all.value(name));
    return asked;
}

DBusMenuLayout StatusIconMenu::layout(int parentId, int depth, const QStringList& names) const
{
    DBusMenuLayout layout{parentId, properties(parentId, names), {}};
    // The menu is flat: only the root has children.
    if (parentId == 0 && depth != 0)
        for (const int id : m_ids)
            layout.children.append({id, properties(id, names), {}});
    return layout;
}

void StatusIconMenu::clicked(int id)
{
    const qsizetype index = indexOf(id);
    if (index < 0 || m_entries[index].separator || !m_entries[index].enabled || !m_entries[index].triggered)
        return;
    // Not inside the D-Bus call: the entry may quit or change the menu.
    QTimer::singleShot(0, this, [this, id] {
        const qsizetype now = indexOf(id);
        if (now < 0)
            return;
        // A copy: the entry may replace the menu while it runs.
        const std::function<void()> run = m_entries[now].triggered;
        if (run)
            run();
    });
}

StatusIconMenuAdaptor::StatusIconMenuAdaptor(StatusIconMenu* menu) : QDBusAbstractAdaptor(menu), m_menu(menu)
{
    connect(menu, &StatusIconMenu::layoutUpdated, this, &StatusIconMenuAdaptor::LayoutUpdated);
}

QString StatusIconMenuAdaptor::textDirection() const
{
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl") : QStringLiteral("ltr");
}

uint StatusIconMenuAdaptor::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                      DBusMenuLayout& layout)
{
    layout = m_menu->layout(m_menu->contains(parentId) ? parentId : 0, recursionDepth, propertyNames);
    return m_menu->revision();
}

QList<DBusMenuItemProperties> StatusIconMenuAdaptor::GetGroupProperties(const QList<int>& ids,
                                                                        const QStringList& propertyNames)
{
    QList<DBusMenuItemProperties> items;
    for (const int id : ids)
        if (m_menu->contains(id))
            items.append({id, m_menu->properties(id, propertyNames)});
    return items;
}

QDBusVariant StatusIconMenuAdaptor::GetProperty(int id, const QString& name)
{
    return QDBusVariant(m_menu->properties(id, {name}).value(name, QString()));
}

void StatusIconMenuAdaptor::Event(int id, const QString& eventId, const QDBusVariant&, uint)
{
    if (eventId == QLatin1String("clicked"))
        m_menu->clicked(id);
}

QList<int> StatusIconMenuAdaptor::EventGroup(const QList<DBusMenuEvent>& events)
{
    QList<int> unknown;
    for (const DBusMenuEvent& event : events) {
        if (!m_menu->contains(event.id))
            unknown.append(event.id);
        else if (event.eventId == QLatin1String("clicked"))
            m_menu->clicked(event.id);
    }
    return unknown;
}

bool StatusIconMenuAdaptor::AboutToShow(int) { return false; }

QList<int> StatusIconMenuAdaptor::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors)
{
    idErrors.clear();
    for (const int id : ids)
        if (!m_menu->contains(id))
            idErrors.append(id);
    return {};
}

}  // namespace brenvo
