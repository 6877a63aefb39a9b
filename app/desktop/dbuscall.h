#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>

#include <utility>

namespace brenvo {

// Sends `message` without waiting and hands the answered call (a reply or an
// error) to `finished` later, once, on the main thread; nothing if `owner`
// is destroyed first.
template <typename Handler>
void callAsync(QDBusConnection& bus, const QDBusMessage& message, QObject* owner, Handler finished)
{
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner,
                     [finished = std::move(finished)](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         finished(static_cast<const QDBusPendingCall&>(*w));
                     });
}

}  // namespace brenvo
