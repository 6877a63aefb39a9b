#include "app/desktop/notificationserver.h"

#include "app/desktop/dbuscall.h"

#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include <utility>

namespace brenvo {

namespace {

const QString kInterface = QString::fromLatin1(NotificationServer::kService);

QString describe(const QDBusError& error)
{
    if (!error.message().isEmpty())
        return error.message();
    return error.name().isEmpty() ? QDBusError::errorString(error.type()) : error.name();
}

}  // namespace

NotificationServer::NotificationServer(const QDBusConnection& bus, QObject* parent)
    : Notifier(parent), m_bus(bus)
{
    const QString service = QString::fromLatin1(kService);
    const QString path = QString::fromLatin1(kPath);
    m_bus.connect(service, path, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(service, path, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
}

void NotificationServer::authorise(std::function<void(const Authorisation&)> done)
{
    const QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                                kInterface, QStringLiteral("GetCapabilities"));
    callAsync(m_bus, message, this, [this, done = std::move(done)](const QDBusPendingCall& call) {
        const QDBusPendingReply<QStringList> reply = call;
        if (reply.isError()) {
            done({false, describe(reply.error())});
            return;
        }
        m_markup = reply.value().contains(QStringLiteral("body-markup"));
        done({reply.value().contains(QStringLiteral("actions")), {}});
    });
}

void NotificationServer::post(const Notification& notification, std::function<void(const Delivery&)> done)
{
    QStringList actions{QString::fromLatin1(kDefaultAction), QString()};
    for (const auto& [id, label] : notification.actions)
        actions << id << label;
    QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("com.halvinor.brenvo")}};
    if (!notification.category.isEmpty())
        hints.insert(QStringLiteral("category"), notification.category);
    if (!notification.soundName.isEmpty())
        hints.insert(QStringLiteral("sound-name"), notification.soundName);

    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                          kInterface, QStringLiteral("Notify"));
    message << QStringLiteral("Brenvo") << uint(0) << QStringLiteral("com.halvinor.brenvo") << notification.title
            << (m_markup ? notification.body.toHtmlEscaped() : notification.body) << actions << hints << int(-1);
    ++m_posting;
    callAsync(m_bus, message, this, [this, done = std::move(done)](const QDBusPendingCall& call) {
        --m_posting;
        const QDBusPendingReply<uint> reply = call;
        if (reply.isError()) {
            done({std::nullopt, describe(reply.error())});
        } else {
            remember(reply.value());
            done({reply.value(), {}});
            replayEarly(reply.value());
        }
        if (m_posting == 0)
            m_early.clear();  // answers to notifications of other programs
    });
}

void NotificationServer::replayEarly(quint32 id)
{
    const QList<Early> early = std::exchange(m_early, {});
    for (const Early& e : early) {
        if (e.id != id)
            m_early.append(e);
        else if (e.action.isNull())
            onNotificationClosed(id, 0);
        else
            onActionInvoked(id, e.action);
    }
}

void NotificationServer::remember(quint32 id)
{
    if (m_open.contains(id))
        m_openOrder.removeOne(id);
    m_open.insert(id);
    m_openOrder.append(id);
    while (m_openOrder.size() > kMaxOpen) {
        const quint32 oldest = m_openOrder.takeFirst();
        m_open.remove(oldest);
        emit closed(oldest);
    }
}

void NotificationServer::onActionInvoked(uint id, const QString& action)
{
    if (m_open.contains(id))
        emit actionInvoked(id, action);
    else if (m_posting > 0 && m_early.size() < kMaxEarly)
        m_early.append({id, action.isNull() ? QStringLiteral("") : action});
}

void NotificationServer::onNotificationClosed(uint id, uint /*reason*/)
{
    if (!m_open.remove(id)) {
        if (m_posting > 0 && m_early.size() < kMaxEarly)
            m_early.append({id, QString()});
        return;
    }
    m_openOrder.removeOne(id);
    emit closed(id);
}

}  // namespace brenvo
