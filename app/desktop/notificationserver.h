#pragma once

#include "app/desktop/notifier.h"

#include <QDBusConnection>
#include <QList>
#include <QSet>
#include <QString>

namespace brenvo {

// The desktop's notification server (org.freedesktop.Notifications on the
// session bus). Posts as "Brenvo" with the program's icon and desktop entry;
// reports the answers to its own notifications only. Every call is
// asynchronous.
class NotificationServer : public Notifier {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";
    // The most notifications whose answers are still awaited; past it the
    // oldest is forgotten (reported through closed()), so a server that
    // never reports closing does not make the program grow.
    static constexpr qsizetype kMaxOpen = 512;
    // The most answers kept for ids not known yet (see m_early).
    static constexpr qsizetype kMaxEarly = 64;

    explicit NotificationServer(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);

    // Authorised: the server answers and can show buttons ("actions").
    // Also learns whether bodies are read as markup (then post() escapes).
    void authorise(std::function<void(const Authorisation&)> done) override;
    void post(const Notification& notification, std::function<void(const Delivery&)> done) override;

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

private:
    void remember(quint32 id);
    void replayEarly(quint32 id);

    // An answer for a notification we have not yet learned the id of: the
    // server's reply to Notify may be handled after a signal sent later.
    struct Early {
        quint32 id;
        QString action;  // null: closed
    };

    QDBusConnection m_bus;
    // The server reads the body as markup: names from peers are escaped.
    bool m_markup = false;
    QSet<quint32> m_open;
    QList<quint32> m_openOrder;
    int m_posting = 0;  // Notify calls not yet answered
    QList<Early> m_early;
};

}  // namespace brenvo
