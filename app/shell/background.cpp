#include "app/shell/background.h"

#include "app/cards/cardfiles.h"
#include "app/desktop/backgroundnotice.h"
#include "app/desktop/statusicon.h"
#include "app/settings/appsettings.h"
#include "app/shell/icons.h"
#include "app/shell/statusicontext.h"

#include "vortan/controller.h"

#include <QGuiApplication>
#include <QPainter>

using vortan::Controller;
using vortan::FileRow;
using vortan::ResumeItem;
using vortan::User;

namespace brenvo {

namespace {

// The program's icon with a dot: new offers wait.
QIcon attentionIcon(const QIcon& icon)
{
    QIcon marked;
    for (const int size : {16, 22, 32, 48, 64}) {
        QPixmap pixmap = icon.pixmap(size, size);
        if (pixmap.isNull())
            continue;
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal dot = pixmap.width() * 0.42;
        painter.setPen(QPen(Qt::white, std::max(1.0, dot / 8)));
        painter.setBrush(QColor(0xe0, 0x3b, 0x24));
        painter.drawEllipse(QRectF(pixmap.width() - dot, 0, dot, dot).adjusted(0.5, 0.5, -0.5, -0.5));
        painter.end();
        marked.addPixmap(pixmap);
    }
    return marked;
}

}  // namespace

Background::Background(Controller& controller, AppSettings& settings, Notifier& notifier, BackgroundActions actions,
                       const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_controller(controller), m_settings(settings), m_notifier(notifier),
      m_actions(std::move(actions)), m_bus(bus)
{
    m_panelWait.setSingleShot(true);
    connect(&m_panelWait, &QTimer::timeout, this, [this] {
        if (!keepsRunning() && !m_actions.windowShown())
            m_actions.showWindow();
    });
    connect(&m_settings, &AppSettings::changed, this, &Background::settingsChanged);
    connect(&m_controller, &Controller::filesChanged, this, &Background::scheduleUpdate);
    connect(&m_controller, &Controller::usersChanged, this, &Background::scheduleUpdate);
}

Background::~Background() = default;

void Background::start(bool withoutWindow, int panelWaitMs)
{
    m_started = true;
    followSetting();
    applyQuitRule();
    if (!withoutWindow || keepsRunning())
        return;
    if (m_icon)
        m_panelWait.start(panelWaitMs);
    else
        m_actions.showWindow();  // nothing would ever show the program
}

bool Background::keepsRunning() const { return m_icon && m_icon->available() && m_settings.keepRunning(); }

void Background::settingsChanged(const QString& key)
{
    if (key == m_settings.keepRunning.key())
        followSetting();
}

void Background::followSetting()
{
    if (!m_started)
        return;
    if (m_settings.keepRunning() && !m_icon) {
        const QIcon icon = applicationIcon();
        m_icon = std::make_unique<StatusIcon>(QStringLiteral("com.halvinor.brenvo"), QStringLiteral("Brenvo"), icon,
                                              attentionIcon(icon), m_bus);
        connect(m_icon.get(), &StatusIcon::availableChanged, this, &Background::availabilityChanged);
        connect(m_icon.get(), &StatusIcon::activated, this, [this] { m_actions.showWindow(); });
        m_menuShape.clear();
        update();
    } else if (!m_settings.keepRunning() && m_icon) {
        m_icon.reset();
    }
    applyQuitRule();
}

void Background::availabilityChanged()
{
    applyQuitRule();
    if (keepsRunning()) {
        m_panelWait.stop();
        return;
    }
    // The panel went away: nothing shows the program any more.
    if (!m_panelWait.isActive() && !m_actions.windowShown())
        m_actions.showWindow();
}

void Background::applyQuitRule() { QGuiApplication::setQuitOnLastWindowClosed(!keepsRunning()); }

void Background::lastWindowClosed()
{
    if (!keepsRunning() || m_settings.backgroundNoticeShown())
        return;
    m_settings.backgroundNoticeShown.set(true);
    postBackgroundNotice(m_notifier, m_actions.showWindow);
}

void Background::didReceiveFiles(const QList<FileRow>& files)
{
    // Seen at once where a window is the active one.
    if (QGuiApplication::applicationState() == Qt::ApplicationActive && m_actions.windowShown())
        return;
    for (const FileRow& file : files)
        m_offered.insert(file.id);
    scheduleUpdate();
}

void Background::windowActivated()
{
    if (m_offered.isEmpty())
        return;
    m_offered.clear();
    scheduleUpdate();
}

void Background::scheduleUpdate()
{
    if (m_updateQueued || !m_icon)
        return;
    m_updateQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_updateQueued = false;
        update();
    });
}

void Background::update()
{
    if (!m_icon)
        return;
    const QList<FileRow>& rows = m_controller.fileRows();
    m_icon->setToolTip(QStringLiteral("Brenvo"), transferSummary(rows));
    const QList<WaitingOffers> waiting = waitingOffers(rows, m_offered);
    QSet<QUuid> stillWaiting;
    for (const WaitingOffers& offers : waiting)
        for (const QUuid& id : offers.files)
            stillWaiting.insert(id);
    m_offered = stillWaiting;
    m_icon->setNeedsAttention(!waiting.isEmpty());

    QList<StatusMenuEntry> entries;
    entries.append({tr("Show Brenvo"), true, false, m_actions.showWindow});
    if (!waiting.isEmpty())
        entries.append({{}, true, true, {}});
    for (const WaitingOffers& offers : waiting) {
        const std::optional<User> user = m_controller.user(offers.user);
        const QString name = user ? displayName(user->name) : tr("Someone");
        const QString label = offers.files.size() == 1
                                  ? tr("%1 — 1 new file").arg(name)
                                  : tr("%1 — %Ln new files", nullptr, int(offers.files.size())).arg(name);
        entries.append({label, true, false, [this, ids = offers.files] { m_actions.showFiles(ids); }});
    }
    entries.append({{}, true, true, {}});
    entries.append({tr("Pause all"), !pausableFiles(rows).isEmpty(), false, [this] {
                        m_controller.pause(pausableFiles(m_controller.fileRows()));
                    }});
    entries.append({tr("Resume all"), !resumableFiles(rows).isEmpty(), false, [this] {
                        QList<ResumeItem> items;
                        for (const QUuid& id : resumableFiles(m_controller.fileRows()))
                            items.append({id, std::nullopt});
                        m_controller.resume(items);
                    }});
    entries.append({{}, true, true, {}});
    entries.append({tr("Quit"), true, false, m_actions.quit});

    QStringList shape;
    for (const StatusMenuEntry& entry : entries)
        shape.append(entry.separator ? QStringLiteral("-") : entry.label + (entry.enabled ? u'+' : u'.'));
    // The offers' entries carry their files: a new offer of a listed person changes the label too.
    for (const WaitingOffers& offers : waiting)
        for (const QUuid& id : offers.files)
            shape.append(id.toString());
    if (shape == m_menuShape)
        return;
    m_menuShape = shape;
    m_icon->setMenu(std::move(entries));
}

}  // namespace brenvo
