#include "vortan/controller/sleepinhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace vortan {

namespace {
constexpr int kCallTimeoutMs = 5000;
}

Login1SleepInhibitor::Login1SleepInhibitor() = default;

Login1SleepInhibitor::~Login1SleepInhibitor() = default;

void Login1SleepInhibitor::acquire()
{
    m_wanted = true;
    if (m_pending || m_fd.isValid())
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                                       QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                                       QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << QStringLiteral("Brenvo") << QStringLiteral("Transfers")
         << QStringLiteral("block");
    m_pending = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        m_pending = false;
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        // Released while the request was on its way: dropping the descriptor ends the inhibition.
        if (reply.isValid() && m_wanted)
            m_fd = reply.value();
    });
}

void Login1SleepInhibitor::release()
{
    m_wanted = false;
    m_fd = QDBusUnixFileDescriptor();  // closes our copy of the descriptor
}

}  // namespace vortan
