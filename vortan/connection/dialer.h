#pragma once

#include "vortan/connection/uniquefd.h"
#include "vortan/errors.h"

#include <QObject>

#include <functional>

namespace vortan {

// Opens an outgoing stream and hands over its connected descriptor, or
// fails with a network error. Results arrive from the event loop, never from
// inside start(); destroying a dialer abandons the attempt, and so does
// abandon() (for a dialer whose destruction is deferred: a result already
// on its way is then dropped).
class Dialer : public QObject {
    Q_OBJECT
public:
    using ConnectedHandler = std::function<void(UniqueFd socket)>;
    using FailedHandler = std::function<void(const NetworkError& error)>;

    Dialer(ConnectedHandler onConnected, FailedHandler onFailed, QObject* parent)
        : QObject(parent), m_onConnected(std::move(onConnected)), m_onFailed(std::move(onFailed))
    {
    }

    virtual void start() = 0;
    void abandon()
    {
        m_onConnected = nullptr;
        m_onFailed = nullptr;
    }

protected:
    // Either ends the attempt; the handler may destroy the dialer, so
    // nothing may follow the call.
    void succeed(UniqueFd socket)
    {
        ConnectedHandler handler = std::move(m_onConnected);
        if (handler)
            handler(std::move(socket));
    }
    void finishWithError(const NetworkError& error)
    {
        FailedHandler handler = std::move(m_onFailed);
        if (handler)
            handler(error);
    }

private:
    ConnectedHandler m_onConnected;
    FailedHandler m_onFailed;
};

}  // namespace vortan
