#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace brenvo {

// One notification as the program posts it.
struct Notification {
    QString title;
    QString body;
    // The "category" hint ("transfer.complete", "transfer").
    QString category;
    // A sound of the freedesktop sound theme; empty: none asked for.
    QString soundName;
    // Buttons after the click on the notification itself: action id and label.
    QList<std::pair<QString, QString>> actions;
};

// Where notifications go: the desktop's notification server, or a stand-in.
// Every call returns at once; its answer comes later through the callback,
// on the main thread, exactly once (unless the notifier is destroyed first).
class Notifier : public QObject {
    Q_OBJECT
public:
    // The action id of a click on the notification itself.
    static constexpr const char* kDefaultAction = "default";

    struct Authorisation {
        bool authorised = false;
        // Why the question could not be asked (no server, an error); empty
        // when the server answered.
        QString error;
    };
    struct Delivery {
        // The server's id of the notification, when it was taken.
        std::optional<quint32> id;
        // Why it was not; empty on success.
        QString error;
    };

    using QObject::QObject;

    // Whether notifications with buttons may be posted now.
    virtual void authorise(std::function<void(const Authorisation&)> done) = 0;
    virtual void post(const Notification& notification, std::function<void(const Delivery&)> done) = 0;

signals:
    // The person answered a notification this notifier posted: an action id
    // of its list, or kDefaultAction.
    void actionInvoked(quint32 id, const QString& action);
    // A notification this notifier posted is gone (dismissed, expired or
    // answered); its id will not be reported again.
    void closed(quint32 id);
};

}  // namespace brenvo
