#include "app/desktop/backgroundnotice.h"

#include "app/desktop/notifier.h"

#include <QCoreApplication>
#include <QPointer>

#include <memory>

namespace brenvo {

void postBackgroundNotice(Notifier& notifier, std::function<void()> clicked)
{
    QPointer<Notifier> owner(&notifier);
    notifier.authorise([owner, clicked = std::move(clicked)](const Notifier::Authorisation& answer) mutable {
        if (!owner || !answer.error.isEmpty())
            return;
        Notification notice;
        notice.title = QCoreApplication::translate("BackgroundNotice", "Brenvo is still running");
        notice.body = QCoreApplication::translate(
            "BackgroundNotice", "Brenvo keeps receiving and sending files in the background. Quit it from its "
                                "icon's menu or with Ctrl+Q.");
        owner->post(notice, [owner, clicked = std::move(clicked)](const Notifier::Delivery& delivery) mutable {
            if (!owner || !delivery.id)
                return;
            const quint32 id = *delivery.id;
            // Both connections go when the notification does.
            auto connections = std::make_shared<std::pair<QMetaObject::Connection, QMetaObject::Connection>>();
            connections->first = QObject::connect(
                owner, &Notifier::actionInvoked, owner,
                [id, clicked, connections](quint32 answered, const QString& action) {
                    if (answered == id && action == QLatin1String(Notifier::kDefaultAction) && clicked)
                        clicked();
                });
            connections->second = QObject::connect(owner, &Notifier::closed, owner, [id, connections](quint32 gone) {
                if (gone != id)
                    return;
                QObject::disconnect(connections->first);
                QObject::disconnect(connections->second);
            });
        });
    });
}

}  // namespace brenvo
