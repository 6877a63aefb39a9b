#include "app/desktop/appnotifications.h"

#include "app/desktop/filemanager.h"
#include "app/desktop/launcherbadge.h"
#include "app/settings/appsettings.h"
#include "vortan/bidi.h"
#include "vortan/controller.h"

#include <QGuiApplication>
#include <QLocale>
#include <QPointer>

#include <algorithm>
#include <utility>
#include <cstdio>

using vortan::Controller;
using vortan::DownloadLocation;
using vortan::FileRow;
using vortan::ResumeItem;
using vortan::User;

namespace brenvo {

AppNotifications::AppNotifications(Controller& controller, AppSettings& settings, Notifier& notifier,
                                   LauncherBadge& badge, FileManager& fileManager,
                                   std::function<bool()> applicationActive, QObject* parent)
    : QObject(parent),
      m_controller(controller),
      m_settings(settings),
      m_notifier(notifier),
      m_badge(badge),
      m_fileManager(fileManager),
      m_applicationActive(std::move(applicationActive))
{
    if (!m_applicationActive)
        m_applicationActive = [] { return QGuiApplication::applicationState() == Qt::ApplicationActive; };
    connect(&m_notifier, &Notifier::actionInvoked, this, &AppNotifications::respond);
    connect(&m_notifier, &Notifier::closed, this, [this](quint32 id) { m_files.remove(id); });
    m_batchTimer.setSingleShot(true);
    connect(&m_batchTimer, &QTimer::timeout, this, &AppNotifications::postBatch);
}

void AppNotifications::didFinishDownloading(const FileRow& file)
{
    m_finished.append(file);
    collect();
}

void AppNotifications::didReceiveFiles(const QList<FileRow>& files, const User& user)
{
    if (files.isEmpty())
        return;
    const auto same = std::find_if(m_offers.begin(), m_offers.end(),
                                   [&user](const Offers& offers) { return offers.user.key == user.key; });
    if (same == m_offers.end()) {
        m_offers.append({user, files});
    } else {
        same->user = user;  // the name as it is now
        same->files.append(files);
    }
    collect();
}

void AppNotifications::collect()
{
    if (!m_batchTimer.isActive())
        m_batchAge.start();
    const auto left = kMaxBatchWait - std::chrono::milliseconds(m_batchAge.elapsed());
    m_batchTimer.start(std::max(std::chrono::milliseconds(0), std::min(m_batchDelay, left)));
}

void AppNotifications::postBatch()
{
    const QList<Offers> offers = std::exchange(m_offers, {});
    const QList<FileRow> finished = std::exchange(m_finished, {});
    for (const Offers& each : offers)
        postOffers(each.files, each.user);
    if (!finished.isEmpty())
        postFinished(finished);
}

void AppNotifications::postFinished(const QList<FileRow>& files)
{
    Notification notification;
    if (files.size() == 1) {
        notification.title = tr("File Downloaded");
        notification.body = tr("%1 has finished downloading.").arg(files.first().name);
    } else {
        notification.title = tr("Files Downloaded");
        notification.body = tr("%n files downloaded.", nullptr, int(files.size()));
    }
    notification.category = QStringLiteral("transfer.complete");
    notification.soundName = QStringLiteral("complete-download");
    notification.actions = {{QString::fromLatin1(kShowFile), tr("Show")}};
    QList<QUuid> ids;
    ids.reserve(files.size());
    for (const FileRow& file : files)
        ids.append(file.id);
    post(notification, ids, files.size());
}

namespace {

// The folder all these files are in, by their names ("Holiday/…"); empty
// when any of them is not in it.
QString folderOfAll(const QList<FileRow>& files)
{
    QString folder;
    for (const FileRow& file : files) {
        const qsizetype slash = file.name.indexOf(QLatin1Char('/'));
        if (slash <= 0 || (!folder.isEmpty() && QStringView(file.name).left(slash) != folder))
            return {};
        if (folder.isEmpty())
            folder = file.name.left(slash);
    }
    return folder;
}

}  // namespace

void AppNotifications::postOffers(const QList<FileRow>& files, const User& user)
{
    Notification notification;
    const QString folder = folderOfAll(files);
    if (!folder.isEmpty()) {
        std::int64_t bytes = 0;
        for (const FileRow& file : files)
            bytes += file.length;
        notification.title = tr("New Folder");
        // One spelled out: without a catalogue (English) a %n plural reads "1 files".
        notification.body = (files.size() == 1 ? tr("%1 shared the folder %2 (1 file, %3) with you")
                                               : tr("%1 shared the folder %2 (%Ln files, %3) with you", nullptr,
                                                    int(files.size())))
                                .arg(vortan::withoutBidiControls(user.name), folder,
                                     QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat));
    } else if (files.size() == 1) {
        notification.title = tr("New File");
        notification.body = tr("%1 shared %2 with you.").arg(vortan::withoutBidiControls(user.name), files.first().name);
    } else {
        notification.title = tr("New Files");
        notification.body = tr("%1 shared %Ln files with you.", nullptr, int(files.size())).arg(vortan::withoutBidiControls(user.name));
    }
    notification.category = QStringLiteral("transfer");
    notification.soundName = QStringLiteral("message-new-instant");
    notification.actions = {{QString::fromLatin1(kDownloadFiles), tr("Download")}};
    QList<QUuid> ids;
    ids.reserve(files.size());
    for (const FileRow& file : files)
        ids.append(file.id);
    post(notification, ids, 0);
}

void AppNotifications::applicationBecameActive()
{
    if (m_badgeCount > 0)
        setBadge(0);
}

void AppNotifications::post(const Notification& notification, const QList<QUuid>& files, qint64 badgeIncrement)
{
    QPointer<AppNotifications> self(this);
    m_notifier.authorise([self, notification, files, badgeIncrement](const Notifier::Authorisation& answer) {
        if (!self)
            return;
        if (!answer.error.isEmpty()) {
            reportFailure(answer.error);
            return;
        }
        if (!answer.authorised)
            return;
        if (badgeIncrement > 0 && !self->m_applicationActive())
            self->setBadge(self->m_badgeCount + badgeIncrement);
        self->m_notifier.post(notification, [self, files](const Notifier::Delivery& delivery) {
            if (!self)
                return;
            if (!delivery.id) {
                reportFailure(delivery.error);
                return;
            }
            self->m_files.insert(*delivery.id, files);
        });
    });
}

void AppNotifications::respond(quint32 id, const QString& action)
{
    const auto entry = m_files.constFind(id);
    if (entry == m_files.cend())
        return;
    const QList<QUuid> ids = *entry;
    if (action == QLatin1String(kShowFile))
        showFiles(ids);
    else if (action == QLatin1String(kDownloadFiles))
        downloadFiles(ids);
    else if (action == QLatin1String(Notifier::kDefaultAction))
        selectFiles(ids);
}

void AppNotifications::showFiles(const QList<QUuid>& ids)
{
    QList<QUrl> locations;
    for (const QUuid& id : ids) {
        const std::optional<FileRow> row = m_controller.file(id);
        if (row && row->location)
            locations.append(*row->location);
    }
    if (locations.isEmpty())
        return;
    if (m_badgeCount > 0)
        setBadge(std::max<qint64>(0, m_badgeCount - locations.size()));
    m_fileManager.reveal(locations);
}

void AppNotifications::downloadFiles(const QList<QUuid>& ids)
{
    // No dialog can be shown from a notification: "ask" means the Downloads folder.
    const DownloadLocation location = m_settings.downloadLocation().withoutDialog();
    QList<ResumeItem> items;
    items.reserve(ids.size());
    for (const QUuid& id : ids)
        items.append({id, location});
    m_controller.resume(items);
}

void AppNotifications::selectFiles(const QList<QUuid>& ids)
{
    QList<QUuid> found;
    for (const QUuid& id : ids) {
        if (m_controller.file(id))
            found.append(id);
    }
    if (!found.isEmpty())
        emit selectFilesRequested(found);
}

void AppNotifications::setBadge(qint64 count)
{
    m_badgeCount = count;
    m_badge.setCount(count);
}

void AppNotifications::reportFailure(const QString& error)
{
    std::fprintf(stdout, "Could not deliver notification. %s\n", qUtf8Printable(error));
    std::fflush(stdout);
}

}  // namespace brenvo
