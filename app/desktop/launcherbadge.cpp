#include "app/desktop/launcherbadge.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace brenvo {

QString LauncherBadge::objectPath()
{
    // FNV-1a of the application's URI: a stable number, which is all the
    // launcher needs of the path.
    quint64 hash = 14695981039346656037ULL;
    for (const char c : QByteArrayView(kAppUri)) {
        hash ^= quint8(c);
        hash *= 1099511628211ULL;
    }
    return QStringLiteral("/com/canonical/unity/launcherentry/") + QString::number(hash);
}

void LauncherBadge::setCount(qint64 count)
{
    QDBusMessage signal = QDBusMessage::createSignal(objectPath(), QString::fromLatin1(kInterface),
                                                     QStringLiteral("Update"));  // not translated: D-Bus signal
    const qint64 shown = count > 0 ? count : 0;
    signal << QString::fromLatin1(kAppUri)
           << QVariantMap{{QStringLiteral("count"), shown}, {QStringLiteral("count-visible"), shown > 0}};
    m_bus.send(signal);
}

}  // namespace brenvo
