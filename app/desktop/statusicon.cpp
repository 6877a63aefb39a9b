#include "app/desktop/statusicon.h"

#include "app/desktop/dbuscall.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QImage>
#include <QTimer>
#include <QtEndian>

namespace brenvo {

QDBusArgument& operator<<(QDBusArgument& arg, const StatusIconPixmap& pixmap)
{
    arg.beginStructure();
    arg << pixmap.width << pixmap.height << pixmap.argb;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, StatusIconPixmap& pixmap)
{
    arg.beginStructure();
    arg >> pixmap.width >> pixmap.height >> pixmap.argb;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const StatusIconToolTip& tip)
{
    arg.beginStructure();
    arg << tip.iconName << tip.pixmaps << tip.title << tip.text;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, StatusIconToolTip& tip)
{
    arg.beginStructure();
    arg >> tip.iconName >> tip.pixmaps >> tip.title >> tip.text;
    arg.endStructure();
    return arg;
}

namespace {

StatusIconPixmaps pixmapsOf(const QIcon& icon)
{
    StatusIconPixmaps pixmaps;
    for (const int size : {16, 22, 32, 48, 64}) {
        const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        QByteArray argb(qsizetype(image.width()) * image.height() * 4, Qt::Uninitialized);
        char* out = argb.data();
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x, out += 4)
                qToBigEndian(line[x], out);
        }
        pixmaps.append({image.width(), image.height(), argb});
    }
    return pixmaps;
}

}  // namespace

StatusIcon::StatusIcon(const QString& id, const QString& title, const QIcon& icon, const QIcon& attentionIcon,
                       const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus), m_id(id), m_title(title), m_iconName(icon.name()), m_pixmaps(pixmapsOf(icon)),
      m_attentionPixmaps(pixmapsOf(attentionIcon)), m_menu(new StatusIconMenu(this)),
      m_watcher(new QDBusServiceWatcher(QString::fromLatin1(kWatcherService), m_bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this))
{
    qDBusRegisterMetaType<StatusIconPixmap>();
    qDBusRegisterMetaType<StatusIconPixmaps>();
    qDBusRegisterMetaType<StatusIconToolTip>();
    new StatusIconAdaptor(this);
    new StatusIconMenuAdaptor(m_menu);
    if (!m_bus.isConnected())
        return;
    m_exported = m_bus.registerObject(QString::fromLatin1(kItemPath), this, QDBusConnection::ExportAdaptors)
                 && m_bus.registerObject(QString::fromLatin1(kMenuPath), m_menu, QDBusConnection::ExportAdaptors);
    if (!m_exported)
        return;
    // The name panels look for; the unique name does as well where it is taken.
    const QString name = QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid());
    m_serviceName = m_bus.registerService(name) ? name : m_bus.baseService();
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                setAvailable(false);
                if (!newOwner.isEmpty())
                    registerWithWatcher();
            });
    registerWithWatcher();
}

StatusIcon::~StatusIcon()
{
    if (!m_exported)
        return;
    m_bus.unregisterObject(QString::fromLatin1(kMenuPath));
    m_bus.unregisterObject(QString::fromLatin1(kItemPath));
    if (m_serviceName != m_bus.baseService())
        m_bus.unregisterService(m_serviceName);
}

void StatusIcon::registerWithWatcher()
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kWatcherService),
                                                       QString::fromLatin1(kWatcherPath),
                                                       QString::fromLatin1(kWatcherService),
                                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << m_serviceName;
    // No watcher is started for us: a panel brings its own.
    call.setAutoStartService(false);
    callAsync(m_bus, call, this, [this](const QDBusPendingCall& answer) { setAvailable(!answer.isError()); });
}

void StatusIcon::setAvailable(bool available)
{
    if (m_available == available)
        return;
    m_available = available;
    emit availableChanged(available);
}

QString StatusIcon::status() const
{
    return m_attention ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");  // not translated: D-Bus value
}

void StatusIcon::setToolTip(const QString& title, const QString& text)
{
    if (m_toolTipTitle == title && m_toolTipText == text)
        return;
    m_toolTipTitle = title;
    m_toolTipText = text;
    emit toolTipChanged();
}

void StatusIcon::setNeedsAttention(bool on)
{
    if (m_attention == on)
        return;
    m_attention = on;
    emit statusChanged(status());
}

StatusIconAdaptor::StatusIconAdaptor(StatusIcon* icon) : QDBusAbstractAdaptor(icon), m_icon(icon)
{
    connect(icon, &StatusIcon::toolTipChanged, this, &StatusIconAdaptor::NewToolTip);
    connect(icon, &StatusIcon::statusChanged, this, &StatusIconAdaptor::NewStatus);
}

void StatusIconAdaptor::Activate(int, int)
{
    // Not inside the D-Bus call: it may open a window.
    QTimer::singleShot(0, m_icon, [icon = m_icon] { icon->activate(); });
}

void StatusIconAdaptor::SecondaryActivate(int x, int y) { Activate(x, y); }
void StatusIconAdaptor::ContextMenu(int, int) {}
void StatusIconAdaptor::Scroll(int, const QString&) {}

}  // namespace brenvo
