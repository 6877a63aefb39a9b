#include "cli/connectretry.h"

#include "vortan/controller/controller.h"

#include <QRandomGenerator>
#include <QTimer>

namespace brenvo::cli {

ConnectRetry::ConnectRetry(vortan::Controller& controller, QList<QByteArray> keys, QObject* parent)
    : QObject(parent), m_controller(controller), m_keys(std::move(keys))
{
    for (const QByteArray& key : std::as_const(m_keys)) {
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, this, [this, key] { attempt(key); });
        m_timers.insert(key, timer);
    }
}

ConnectRetry::~ConnectRetry() = default;

void ConnectRetry::start()
{
    m_running = true;
    for (const QByteArray& key : std::as_const(m_keys))
        attempt(key);
}

void ConnectRetry::stop()
{
    m_running = false;
    for (QTimer* timer : std::as_const(m_timers))
        timer->stop();
}

void ConnectRetry::attempt(const QByteArray& key)
{
    if (!m_running)
        return;
    const vortan::User* user = m_controller.findUser(key);
    if (!user || user->state != vortan::User::State::notConnected)
        return;
    m_controller.connectTo(key);
    // A user without address or port stays notConnected: wait for it to call.
    usersChanged();
}

void ConnectRetry::usersChanged()
{
    if (!m_running)
        return;
    for (const QByteArray& key : std::as_const(m_keys)) {
        const vortan::User* user = m_controller.findUser(key);
        QTimer* timer = m_timers.value(key);
        if (!user || !timer || user->state != vortan::User::State::notConnected || timer->isActive())
            continue;
        const auto low = int(kMinDelay.count());
        const auto high = int(kMaxDelay.count());
        const int delay = QRandomGenerator::global()->bounded(low, high + 1);
        timer->start(delay);
        emit retryScheduled(key, std::chrono::milliseconds(delay));
    }
}

}  // namespace brenvo::cli
