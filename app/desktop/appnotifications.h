#pragma once

#include "app/desktop/notifier.h"
#include "vortan/filerow.h"
#include "vortan/user.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QElapsedTimer>
#include <QTimer>
#include <QUuid>

#include <chrono>

#include <functional>

namespace vortan {
class Controller;
}  // namespace vortan

namespace brenvo {

class AppSettings;
class FileManager;
class LauncherBadge;

// The program's notifications: a finished download and newly offered files
// are announced, the launcher's badge counts finished downloads the person
// has not seen, and the person's answer to a notification is carried out.
//
// What comes together is announced together: downloads that finish, and
// offers of one person that arrive (a long list comes in parts), within
// batchDelay() of each other make one notification ("300 files
// downloaded."), posted once batchDelay() passes without another, and no
// later than kMaxBatchWait after the first. Offers that are all in one
// folder (names "Holiday/…") are announced as that folder, with the count
// and total size of its files.
//
// Each notification's files are kept here under the id the notifier gave it,
// until the notifier reports it closed. Nothing is posted when the notifier
// says no; a notification that cannot be delivered is reported on standard
// output ("Could not deliver notification. …") and otherwise ignored.
class AppNotifications : public QObject {
    Q_OBJECT
public:
    // The answers besides the notifier's default action.
    static constexpr const char* kShowFile = "SHOW_FILE";
    static constexpr const char* kDownloadFiles = "DOWNLOAD_FILES";

    // applicationActive: whether the program is the active application now
    // (null: QGuiApplication::applicationState() is Qt::ApplicationActive).
    AppNotifications(vortan::Controller& controller, AppSettings& settings, Notifier& notifier, LauncherBadge& badge,
                     FileManager& fileManager, std::function<bool()> applicationActive = {},
                     QObject* parent = nullptr);

    // The controller's two reports (downloadFinished, filesReceived), passed on.
    void didFinishDownloading(const vortan::FileRow& file);
    void didReceiveFiles(const QList<vortan::FileRow>& files, const vortan::User& user);
    // The program became the active application: the badge goes back to 0.
    void applicationBecameActive();

    qint64 badgeCount() const { return m_badgeCount; }

    static constexpr std::chrono::milliseconds kBatchDelay{1000};
    static constexpr std::chrono::milliseconds kMaxBatchWait{5000};
    std::chrono::milliseconds batchDelay() const { return m_batchDelay; }
    void setBatchDelay(std::chrono::milliseconds delay) { m_batchDelay = delay; }

signals:
    // The person clicked a notification: select these files (still in the
    // controller's rows, in the notification's order; never empty) in a
    // window, or open one on them.
    void selectFilesRequested(const QList<QUuid>& ids);

private:
    struct Offers {
        vortan::User user;
        QList<vortan::FileRow> files;
    };

    void collect();
    void postBatch();
    void postFinished(const QList<vortan::FileRow>& files);
    void postOffers(const QList<vortan::FileRow>& files, const vortan::User& user);
    void post(const Notification& notification, const QList<QUuid>& files, qint64 badgeIncrement);
    void respond(quint32 id, const QString& action);
    void showFiles(const QList<QUuid>& ids);
    void downloadFiles(const QList<QUuid>& ids);
    void selectFiles(const QList<QUuid>& ids);
    void setBadge(qint64 count);
    static void reportFailure(const QString& error);

    vortan::Controller& m_controller;
    AppSettings& m_settings;
    Notifier& m_notifier;
    LauncherBadge& m_badge;
    FileManager& m_fileManager;
    std::function<bool()> m_applicationActive;
    // Each open notification's files, by the notifier's id.
    QHash<quint32, QList<QUuid>> m_files;
    qint64 m_badgeCount = 0;
    // What waits for the batch to end, in order of arrival.
    QList<vortan::FileRow> m_finished;
    QList<Offers> m_offers;
    QTimer m_batchTimer;
    QElapsedTimer m_batchAge;
    std::chrono::milliseconds m_batchDelay = kBatchDelay;
};

}  // namespace brenvo
