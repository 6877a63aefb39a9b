#include "vortan/controller/downloads.h"

#include "vortan/controller/filetable.h"
#include "vortan/records/recorderror.h"

#include "vortan/controller/downloadtarget.h"
#include "vortan/log.h"
#include "vortan/peer/messages.h"
#include "vortan/peer/peerconnection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <cstring>
#include <exception>
#include <utility>
#include <sys/stat.h>

namespace vortan {

namespace {

const QString kPartialSuffix = QStringLiteral(".downloading");

// What a download with this target takes: the target, its partial file and,
// each with a "/" at its end, the folders it lies in.
void take(QSet<QString>& taken, const QString& target)
{
    taken.insert(target);
    taken.insert(target + kPartialSuffix);
    for (qsizetype slash = target.lastIndexOf(QLatin1Char('/')); slash > 0;
         slash = target.lastIndexOf(QLatin1Char('/'), slash - 1)) {
        const QString folder = target.left(slash + 1);
        if (taken.contains(folder))
            break;  // and the ones above it too
        taken.insert(folder);
    }
}

// Bytes of block b of a file: a whole block but for a shorter last one.
std::int64_t blockLength(const File& file, std::int64_t block)
{
    const std::int64_t last = file.numberOfBlocks() - 1;
    return block == last ? file.length() - last * blockSize : blockSize;
}

}  // namespace

Downloads::Downloads(FileTable& files, Clock& clock, DownloadWindows::Limits limits, Engine engine)
    : m_files(files), m_engine(std::move(engine)),
      m_windows(clock, limits,
                {.waitsForBlocks = [this](const QUuid& id) { return waitsForBlocks(id); },
                 .askForList = [this](const QByteArray& user) { return m_engine.askForList(user); },
                 .linkAlive = [this](const QByteArray& user) { return !m_engine.linkAlive || m_engine.linkAlive(user); },
                 .lost = [this](const QUuid& id, const BlockSet& blocks) { askAgain(id, blocks); }})
{
}

Downloads::~Downloads() = default;

bool Downloads::waitsForBlocks(const QUuid& id) const
{
    const File* record = m_files.find(id);
    return record && !record->paused && !record->unavailable && !record->error && !isComplete(*record);
}

void Downloads::resume(const QList<ResumeItem>& items)
{
    QList<QByteArray> toConnect;
    // The files unfinished downloads write to, gathered once for all items.
    std::optional<QSet<QString>> taken;
    for (const ResumeItem& item : items) {
        qsizetype index = m_files.indexOf(item.id);
        if (index < 0) {
            logWarning(lcController(), QStringLiteral("no file matching id"));
            continue;
        }
        // Paused records go on; failed ones (a write, a send or the final
        // move) are tried again.
        if (isComplete(m_files[index]) || (!m_files[index].paused && !m_files[index].error))
            continue;
        if (m_files[index].download && !m_files[index].location()) {
            if (!taken)
                taken = takenPaths();
            if (!chooseTarget(index, item.location, *taken))
                continue;
            index = m_files.indexOf(item.id);
            if (index < 0)
                continue;
        }
        File& record = m_files.edit(index);
        record.paused = false;
        record.error.reset();  // a retry starts clean
        const bool download = record.download;
        const bool empty = record.numberOfBlocks() == 0;
        const QByteArray user = record.user;
        m_files.update();
        m_engine.progressed();

        index = m_files.indexOf(item.id);
        if (download && index >= 0 && m_files[index].transferred()) {
            // Nothing to ask anyone for: an empty file is made here, and a
            // download whose final move failed tries the move again.
            if (empty) {
                try {
                    m_files.edit(index).writeBlock(QByteArray(), 0);
                } catch (const IoError& e) {
                    m_files.edit(index).error = recordError(e);
                    m_files.update();
                    continue;
                }
            }
            finishDownload(item.id);
            continue;
        }

        if (std::shared_ptr<PeerConnection> peer = m_engine.peerFor(user)) {
            // The peer's list no longer names it: nothing to ask for until a
            // later list names it again (and the download goes on then).
            if (download && index >= 0 && m_files[index].unavailable)
                logInfo(lcController(), QStringLiteral("%1 is no longer offered: not asked for").arg(idText(item.id)));
            else if (download)
                topUpRequests(item.id, *peer);
            else
                m_engine.startSending(item.id, peer);
        } else {
            logWarning(lcController(), QStringLiteral("Couldn't find peer to download from."));
            if (!toConnect.contains(user))
                toConnect.append(user);
        }
    }
    for (const QByteArray& key : std::as_const(toConnect))
        m_engine.connectTo(key);
}

void Downloads::pause(const QList<QUuid>& ids)
{
    for (const QUuid& id : ids) {
        const qsizetype index = m_files.indexOf(id);
        if (index < 0) {
            logWarning(lcController(), QStringLiteral("no file matching id"));
            continue;
        }
        if (isComplete(m_files[index]) || m_files[index].paused)
            continue;
        File& record = m_files.edit(index);
        record.paused = true;
        const std::shared_ptr<TransferBuffer> buffer = record.buffer();
        m_files.update();
        buffer->closeBuffer();
        // Requests already made are answered and written; no new ones go out.
        m_windows.drop(id);
        m_engine.progressed();
    }
}

QSet<QString> Downloads::takenPaths() const
{
    QSet<QString> paths;
    for (const File& record : std::as_const(m_files)) {
        if (!record.download || !record.location() || isComplete(record))
            continue;
        take(paths, record.location()->toLocalFile());
    }
    return paths;
}

bool Downloads::chooseTarget(qsizetype index, const std::optional<DownloadLocation>& location, QSet<QString>& takenPaths)
{
    File& record = m_files.edit(index);
    const QUuid id = record.id();
    const DownloadLocation where = location.value_or(DownloadLocation::downloads());
    QString target;
    QString problem;
    if (where.kind() == DownloadLocation::Kind::file) {
        if (where.url().isLocalFile() && !where.url().toLocalFile().isEmpty())
            target = where.url().toLocalFile();
        else
            problem = QStringLiteral("%1 is not a local file").arg(where.url().toString());
    } else {
        QString directory;
        if (where.kind() == DownloadLocation::Kind::downloads)
            directory = m_engine.downloadsDirectory();
        else if (where.url().isLocalFile())
            directory = where.url().toLocalFile();
        // A name with folders is made into those folders below the
        // directory, each component a safe name of its own; any other name is
        // one path component. Either way the file stays inside the directory
        // whatever the peer called it.
        std::optional<QStringList> path = safeRelativePath(record.name());
        if (!path) {
            if (const std::optional<QString> flat = safeFileName(record.name()))
                path = QStringList{*flat};
        }
        if (directory.isEmpty()) {
            problem = QStringLiteral("%1 is not a local directory").arg(where.url().toString());
        } else if (!path) {
            problem = QStringLiteral("\"%1\" cannot name a file").arg(printableName(record.name()));
        } else {
            const QString name = path->takeLast();
            std::optional<QString> folder = QDir(directory).absolutePath();
            if (!path->isEmpty())
                folder = makeFolders(*folder, *path, [&](const QString& p) { return takenPaths.contains(p); }, problem);
            if (folder)
                target = *folder + QLatin1Char('/') + name;
        }
    }

    // Two unfinished downloads never write to the same file, and none
    // replaces a folder others write into. (This record has no location yet:
    // none of the paths is its own.)
    const auto taken = [&](const QString& path) {
        return takenPaths.contains(path) || takenPaths.contains(path + kPartialSuffix)
               || takenPaths.contains(path + QLatin1Char('/'));
    };
    if (problem.isEmpty()) {
        // The partial file's name is longer than the target's: both must fit
        // the file system, also with a number added to tell targets apart.
        const qsizetype partialBytes = kPartialSuffix.size();
        target = fitNameLength(target, partialBytes);
        std::optional<QString> free = firstFreePath(target, taken);
        if (free && fitNameLength(*free, partialBytes) != *free) {
            target = fitNameLength(target, partialBytes + qsizetype(sizeof " (9999)") - 1);
            free = firstFreePath(target, taken);
        }
        if (free)
            target = *free;
        else
            problem = QStringLiteral("no free name for %1").arg(target);
    }
    if (!problem.isEmpty()) {
        logWarning(lcController(), QStringLiteral("Cannot resume %1: %2").arg(idText(id), problem));
        record.error = VortanError::other(problem);
        m_files.update();
        return false;
    }
    record.file.location = QUrl::fromLocalFile(target);
    take(takenPaths, target);
    m_files.update();
    m_engine.progressed();
    return true;
}

void Downloads::topUpRequests(const QUuid& id, PeerConnection& peer)
{
    const File* record = m_files.find(id);
    // A download whose write failed waits for a pause and a resume.
    if (!record || record->error || record->paused || record->transferred())
        return;
    const std::int64_t window = m_windows.windowFor(id, record->user).size();
    const std::int64_t count = record->wantBlocks.count();
    if (count < window)
        requestBlocks(window - count, id, peer);
}

void Downloads::remindSender(const QUuid& id, PeerConnection& peer)
{
    const File* record = m_files.find(id);
    if (!record || !record->download || record->numberOfBlocks() == 0)
        return;
    BlockSet last;
    last.insert(record->numberOfBlocks() - 1);
    try {
        peer.sendWant(last, id);
    } catch (const plist::FormatError&) {
        return;  // nothing to tell anyone: the sender keeps listing it
    }
    logInfo(lcController(), QStringLiteral("%1 is still offered although it is here: its last block is asked for again").arg(idText(id)));
}

void Downloads::topUpLater(const QUuid& id)
{
    m_topUps.insert(id);
    if (m_topUpsScheduled)
        return;
    m_topUpsScheduled = true;
    QMetaObject::invokeMethod(this, [this] { runTopUps(); }, Qt::QueuedConnection);
}

void Downloads::runTopUps()
{
    m_topUpsScheduled = false;
    const QSet<QUuid> topUps = std::exchange(m_topUps, {});
    for (const QUuid& id : topUps) {
        // Through the user's connection as it is now: the one the block came
        // on may have been replaced meanwhile, and what is asked on a
        // closing connection is never answered.
        const File* record = m_files.find(id);
        if (!record)
            continue;
        if (const std::shared_ptr<PeerConnection> peer = m_engine.peerFor(record->user))
            topUpRequests(id, *peer);
    }
}

void Downloads::requestBlocks(std::int64_t n, const QUuid& id, PeerConnection& peer)
{
    const qsizetype index = m_files.indexOf(id);
    if (index < 0 || m_files[index].paused)
        return;
    File& record = m_files.edit(index);
    const BlockSet next = BlockSet::lowestMissing(n, record.numberOfBlocks(), record.blocks, record.wantBlocks);
    if (next.empty())
        return;
    try {
        peer.sendWant(next, id);
        record.wantBlocks.unite(next);
        m_windows.asked(id, next);
    } catch (const plist::FormatError& e) {
        record.error = recordError(e);
    }
    m_files.update();
    m_engine.activity();
}

void Downloads::received(const QByteArray& data, std::int64_t block, const QUuid& fileID,
                                              const std::shared_ptr<PeerConnection>& peer)
{
    const auto record = [&]() -> File* {
        const qsizetype index = m_files.indexOf(fileID);
        return index < 0 ? nullptr : &m_files.edit(index);
    };
    File* file = record();
    if (!file || !file->download || !peer->user() || file->user != *peer->user()) {
        logWarning(lcController(), QStringLiteral("no matching file"));
        return;
    }
    const QString id = idText(fileID);
    if (block < 0 || block >= file->numberOfBlocks()) {
        logWarning(lcTransfer(), QStringLiteral("Dropped block %1 of %2: outside its %3 blocks").arg(block).arg(id).arg(file->numberOfBlocks()));
        return;
    }
    // A block the download lacks is written whether or not it is still
    // asked for: its request may have been taken as lost, or the download
    // paused, after the sender had handed it over.
    if (file->blocks.contains(block)) {
        logDebug(lcTransfer(), QStringLiteral("Dropped block %1 of %2: written already").arg(block).arg(id));
        return;
    }
    if (data.size() != blockLength(*file, block)) {
        logWarning(lcTransfer(), QStringLiteral("Dropped block %1 of %2: %3 bytes instead of %4")
                    .arg(block)
                    .arg(id)
                    .arg(data.size())
                    .arg(blockLength(*file, block)));
        return;
    }
    if (!file->location()) {
        logWarning(lcTransfer(), QStringLiteral("Dropped block %1 of %2: no download location").arg(block).arg(id));
        return;
    }

    file->wantBlocks.remove(block);
    m_files.update();
    checkPartialFile(fileID);
    if (!(file = record()))
        return;
    try {
        file->writeBlock(data, block);
    } catch (const IoError& e) {
        file->error = recordError(e);
        m_files.update();
        m_windows.drop(fileID);
        return;
    }
    file->blocks.insert(block);
    // The partial file takes blocks again: an earlier write failure is over.
    file->error.reset();
    // The peer still has what its list left out.
    file->unavailable = false;
    const bool done = file->blocks.count() == file->numberOfBlocks();
    m_files.update();
    m_engine.progressed();
    m_windows.received(fileID, block, data.size());
    // At least one more request per block received; more while the window grows.
    if (!done)
        topUpLater(fileID);
    else
        finishDownload(fileID);
}

void Downloads::checkPartialFile(const QUuid& id)
{
    const qsizetype index = m_files.indexOf(id);
    if (index < 0)
        return;
    File& record = m_files.edit(index);
    if (record.buffer()->isOpen() || record.blocks.empty())
        return;
    // The file must reach the end of the last block the record claims;
    // otherwise finishing would leave holes where blocks were lost.
    const std::int64_t end = *record.blocks.last() + 1;
    const std::int64_t needed = end >= record.numberOfBlocks() ? record.length() : end * blockSize;
    struct stat st;
    const QByteArray path = QFile::encodeName(record.partialPath());
    if (::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= needed)
        return;
    logInfo(lcController(), QStringLiteral("The partial file of %1 is missing or shorter than its %2 blocks: starting again")
                .arg(idText(id))
                .arg(record.blocks.count()));
    record.blocks = BlockSet();
    m_files.update();
    m_engine.progressed();
}

void Downloads::finishDownload(const QUuid& id)
{
    qsizetype index = m_files.indexOf(id);
    if (index < 0)
        return;
    m_windows.log(id, QStringLiteral("at the end"));
    m_windows.drop(id);
    File& record = m_files.edit(index);
    record.buffer()->closeBuffer();
    if (!record.location())
        return;
    const QString target = record.location()->toLocalFile();
    const QString partial = record.partialPath();
    if (!isRegularFile(partial)) {
        // Without the partial file there is nothing to move, and whatever is
        // at the target must stay: most likely it is this very download,
        // moved there before. If it cannot be, the blocks went with the
        // partial file and a resume starts again.
        if (isRegularFile(target) && QFileInfo(target).size() == record.length()) {
            logInfo(lcController(), QStringLiteral("%1 is already in place at %2").arg(idText(id), target));
            record.error.reset();
            m_files.update();
            return;
        }
        logWarning(lcController(), QStringLiteral("Cannot finish %1: its partial file %2 is gone").arg(idText(id), partial));
        record.blocks = BlockSet();
        record.error = VortanError::other(QStringLiteral("The partial file %1 is gone").arg(partial));
        m_files.update();
        m_engine.progressed();
        return;
    }
    // The old file goes to the Trash; if it cannot, the move below fails
    // rather than overwrite it.
    if (pathExists(target))
        moveToTrash(target);
    if (const int error = moveNoReplace(partial, target)) {
        logWarning(lcController(), QStringLiteral("Cannot move %1 to %2: %3").arg(partial, target, QString::fromLocal8Bit(strerror(error))));
        m_files.edit(index).error = PosixError(error).toVortanError();
        m_files.update();
        return;
    }
    // In place: whatever failed on the way (a write) no longer matters.
    m_files.edit(index).error.reset();
    const File finished = m_files[index];
    m_files.publishNow();
    m_engine.progressed();
    m_engine.finished(finished);
    if (m_interrupted.remove(id))
        m_engine.finishedAcrossConnections(finished.user);
}

void Downloads::askAgain(const QUuid& id, const BlockSet& blocks)
{
    File* record = m_files.edit(id);
    if (!record)
        return;
    record->wantBlocks.subtract(blocks);
    m_files.update();
    logInfo(lcTransfer(), QStringLiteral("Asking again for %1 blocks of %2: unanswered long after later requests were")
                              .arg(blocks.count())
                              .arg(idText(id)));
    if (const std::shared_ptr<PeerConnection> peer = m_engine.peerFor(record->user))
        topUpRequests(id, *peer);
}

void Downloads::forgetRequests(const QByteArray& user)
{
    bool cleared = false;
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        const File& record = m_files[i];
        if (record.download && record.user == user && !record.blocks.empty() && !isComplete(record))
            m_interrupted.insert(record.id());
        if (m_files[i].user == user && !m_files[i].wantBlocks.empty()) {
            m_files.edit(i).wantBlocks = BlockSet();
            cleared = true;
        }
    }
    if (cleared)
        m_files.update();
    m_windows.dropAllOf(user);
}

}  // namespace vortan
