#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>

#include <chrono>
#include <memory>

class QTimer;

namespace vortan {
class Controller;
}

namespace brenvo::cli {

// Keeps connecting to chosen users: at once, then again after a random delay
// of a few seconds whenever such a user is not connected (a failed attempt,
// a closed connection). Users connecting in are welcome meanwhile.
class ConnectRetry : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kMinDelay{1000};
    static constexpr std::chrono::milliseconds kMaxDelay{4000};

    ConnectRetry(vortan::Controller& controller, QList<QByteArray> keys, QObject* parent = nullptr);
    ~ConnectRetry() override;

    // Connects to every user now.
    void start();
    // Looks at the users' states again (call on every change of users).
    void usersChanged();
    // Stops retrying.
    void stop();

signals:
    // The user is not connected and the next attempt comes after delay.
    void retryScheduled(const QByteArray& key, std::chrono::milliseconds delay);

private:
    void attempt(const QByteArray& key);

    vortan::Controller& m_controller;
    QList<QByteArray> m_keys;
    QHash<QByteArray, QTimer*> m_timers;
    bool m_running = false;
};

}  // namespace brenvo::cli
