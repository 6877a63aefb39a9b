#pragma once

#include "vortan/clock.h"
#include "vortan/controller/downloadwindows.h"
#include "vortan/controlleroptions.h"
#include "vortan/downloadlocation.h"
#include "vortan/records/blockset.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace vortan {

class File;
class FileTable;
class PeerConnection;

// The download engine: resuming and pausing records (a download's target is
// fixed on its first resume), asking for blocks through each download's
// request window, writing what arrives into the partial file after checking
// it, and moving a finished download into place.
class Downloads : public QObject {
    Q_OBJECT
public:
    struct Engine {
        std::function<std::shared_ptr<PeerConnection>(const QByteArray& user)> peerFor;
        std::function<void(const QByteArray& user)> connectTo;
        // An offer resumed while its user is connected.
        std::function<void(const QUuid& id, const std::shared_ptr<PeerConnection>& peer)> startSending;
        std::function<void()> progressed;  // a record made progress: save
        std::function<void()> activity;    // a want went out
        std::function<QString()> downloadsDirectory;
        std::function<void(const File& file)> finished;  // moved into place
        // See DownloadWindows::Engine::askForList.
        std::function<bool(const QByteArray& user)> askForList;
        // A download that went on across connections has finished: the
        // sender may not have learnt of every block's arrival (see
        // Catalogue::Engine::remindSender), its list tells.
        std::function<void(const QByteArray& user)> finishedAcrossConnections;
        // See DownloadWindows::Engine::linkAlive.
        std::function<bool(const QByteArray& user)> linkAlive;
    };

    Downloads(FileTable& files, Clock& clock, DownloadWindows::Limits limits, Engine engine);
    ~Downloads() override;

    void resume(const QList<ResumeItem>& items);
    void pause(const QList<QUuid>& ids);
    // Asks for blocks until the download's request window is full.
    void topUpRequests(const QUuid& id, PeerConnection& peer);
    // Asks for the last block of a finished download again (see
    // Catalogue::Engine::remindSender).
    void remindSender(const QUuid& id, PeerConnection& peer);
    // A data message of this user's connection.
    void received(const QByteArray& data, std::int64_t block, const QUuid& id,
                  const std::shared_ptr<PeerConnection>& peer);
    // Another connection of the user became the ready one: what was wanted
    // or measured is forgotten, and the blocks are asked for again.
    void forgetRequests(const QByteArray& user);
    // The record is gone.
    void forget(const QUuid& id)
    {
        m_interrupted.remove(id);
        m_windows.drop(id);
    }
    DownloadWindows& windows() { return m_windows; }
    const DownloadWindows& windows() const { return m_windows; }

private:
    bool waitsForBlocks(const QUuid& id) const;
    // These requested blocks went unanswered: asked for again.
    void askAgain(const QUuid& id, const BlockSet& blocks);
    void requestBlocks(std::int64_t n, const QUuid& id, PeerConnection& peer);
    // Tops up after the blocks that arrived in this turn of the event loop:
    // one request for them all instead of one per block.
    void topUpLater(const QUuid& id);
    void runTopUps();
    // The target and partial file of every unfinished download with a
    // target, and the folders they lie in (with a "/" at the end).
    QSet<QString> takenPaths() const;
    // Fixes the download's target, one that none of takenPaths is, and adds it.
    bool chooseTarget(qsizetype index, const std::optional<DownloadLocation>& location, QSet<QString>& takenPaths);
    void checkPartialFile(const QUuid& id);
    void finishDownload(const QUuid& id);

    FileTable& m_files;
    Engine m_engine;
    DownloadWindows m_windows;
    QSet<QUuid> m_topUps;
    // Running downloads whose user's connection was replaced meanwhile.
    QSet<QUuid> m_interrupted;
    bool m_topUpsScheduled = false;
};

}  // namespace vortan
