#pragma once

#include "app/desktop/statusiconmenu.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>

class QDBusServiceWatcher;

namespace brenvo {

// The StatusNotifierItem wire types: a(iiay) pixmaps and the (sa(iiay)ss) tooltip.
struct StatusIconPixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;  // ARGB32, network byte order
};
using StatusIconPixmaps = QList<StatusIconPixmap>;
struct StatusIconToolTip {
    QString iconName;
    StatusIconPixmaps pixmaps;
    QString title;
    QString text;
};

QDBusArgument& operator<<(QDBusArgument& arg, const StatusIconPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& arg, StatusIconPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& arg, const StatusIconToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& arg, StatusIconToolTip& tip);

// The program's icon in the panel: a freedesktop StatusNotifierItem with a
// com.canonical.dbusmenu menu, registered with the panel's
// org.kde.StatusNotifierWatcher. It follows the watcher: registers again
// when one appears, and reports whether a panel shows it (available()).
class StatusIcon : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kWatcherService = "org.kde.StatusNotifierWatcher";
    static constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
    static constexpr const char* kItemPath = "/StatusNotifierItem";
    static constexpr const char* kMenuPath = "/MenuBar";

    // icon: the normal picture (its theme name is also passed);
    // attentionIcon: the one shown while the item asks for attention.
    StatusIcon(const QString& id, const QString& title, const QIcon& icon, const QIcon& attentionIcon,
               const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~StatusIcon() override;

    // Whether a watcher has taken the item: a panel can show it.
    bool available() const { return m_available; }

    void setToolTip(const QString& title, const QString& text);
    void setNeedsAttention(bool on);
    void setMenu(QList<StatusMenuEntry> entries) { m_menu->setEntries(std::move(entries)); }

    // For the adaptor.
    QString id() const { return m_id; }
    QString title() const { return m_title; }
    QString status() const;
    QString iconName() const { return m_iconName; }
    const StatusIconPixmaps& iconPixmaps() const { return m_pixmaps; }
    const StatusIconPixmaps& attentionPixmaps() const { return m_attentionPixmaps; }
    StatusIconToolTip toolTip() const { return {m_iconName, {}, m_toolTipTitle, m_toolTipText}; }
    void activate() { emit activated(); }

signals:
    void availableChanged(bool available);
    // A click on the icon.
    void activated();
    // For the adaptor's D-Bus signals.
    void toolTipChanged();
    void statusChanged(const QString& status);

private:
    void registerWithWatcher();
    void setAvailable(bool available);

    QDBusConnection m_bus;
    QString m_id;
    QString m_title;
    QString m_iconName;
    QString m_serviceName;
    StatusIconPixmaps m_pixmaps;
    StatusIconPixmaps m_attentionPixmaps;
    QString m_toolTipTitle;
    QString m_toolTipText;
    StatusIconMenu* m_menu;
    QDBusServiceWatcher* m_watcher;
    bool m_attention = false;
    bool m_available = false;
    bool m_exported = false;
};

class StatusIconAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QList<brenvo::StatusIconPixmap> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ empty)
    Q_PROPERTY(QList<brenvo::StatusIconPixmap> OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ empty)
    Q_PROPERTY(QList<brenvo::StatusIconPixmap> AttentionIconPixmap READ attentionIconPixmap)
    Q_PROPERTY(QString AttentionMovieName READ empty)
    Q_PROPERTY(brenvo::StatusIconToolTip ToolTip READ toolTip)
public:
    explicit StatusIconAdaptor(StatusIcon* icon);

    QString category() const { return QStringLiteral("Communications"); }  // not translated: D-Bus value
    QString id() const { return m_icon->id(); }
    QString title() const { return m_icon->title(); }
    QString status() const { return m_icon->status(); }
    int windowId() const { return 0; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(QString::fromLatin1(StatusIcon::kMenuPath)); }
    QString iconName() const { return m_icon->iconName(); }
    StatusIconPixmaps iconPixmap() const { return m_icon->iconPixmaps(); }
    StatusIconPixmaps attentionIconPixmap() const { return m_icon->attentionPixmaps(); }
    StatusIconPixmaps noPixmaps() const { return {}; }
    StatusIconToolTip toolTip() const { return m_icon->toolTip(); }
    QString empty() const { return {}; }

public slots:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    StatusIcon* m_icon;
};

}  // namespace brenvo

Q_DECLARE_METATYPE(brenvo::StatusIconPixmap)
Q_DECLARE_METATYPE(brenvo::StatusIconToolTip)
