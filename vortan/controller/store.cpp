#include "vortan/controller/store.h"

#include "vortan/controller/downloadtarget.h"
#include "vortan/directories.h"
#include "vortan/log.h"
#include "vortan/privatefiles.h"
#include "vortan/wholefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSaveFile>

#include "vortan/plist/value.h"

#include <algorithm>
#include <exception>

namespace vortan {

namespace {

const QString kTransfersFile = QStringLiteral("transfers.plist");
const QString kUsersFile = QStringLiteral("users.plist");
const QString kMeFile = QStringLiteral("me.plist");
const QString kDeletedFile = QStringLiteral("deleted.plist");

// No stored file of ours comes near this; a bigger one is not read at all.
constexpr qint64 kMaxStoredFileSize = 512LL * 1024 * 1024;

// The decoded content of a stored file; or nothing, with the reason when the
// file is there but could not be read or decoded (nothing and no reason: the
// file is missing).
template <typename T> struct Stored {
    std::optional<T> value;
    std::optional<QString> problem;
    bool regular = true;  // false: something else than a file is in its place
};

template <typename T> Stored<T> readStored(const QString& path, bool followLinks = false)
{
    const WholeFile file = readWholeRegularFile(path, kMaxStoredFileSize, followLinks);
    if (file.outcome == WholeFile::Outcome::missing)
        return {};
    if (!file.ok())
        return {std::nullopt, file.problem(kMaxStoredFileSize), file.outcome != WholeFile::Outcome::notRegular};
    try {
        return {fromBytes<T>(file.bytes), std::nullopt};
    } catch (const DecodeError& e) {
        return {std::nullopt, QString::fromUtf8(e.what())};
    } catch (const plist::FormatError& e) {
        return {std::nullopt, QString::fromUtf8(e.what())};
    }
}

// Encodes and writes one stored file atomically; a failure leaves the old
// file as it was and says why.
template <typename T>
std::optional<QString> writeStored(const QString& directory, const QString& name, const T& value,
                                   const QSet<QString>& kept)
{
    if (kept.contains(name))
        return std::nullopt;
    if (!makePrivateDirectory(directory))
        return QStringLiteral("the folder %1 cannot be created").arg(directory);
    QByteArray bytes;
    try {
        bytes = toBytes(value);
    } catch (const plist::FormatError& e) {
        return QString::fromUtf8(e.what());
    }
    QSaveFile file(QDir(directory).filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // Who the user knows and what they exchange is theirs alone.
    if (!restrictToOwner(file)) {
        file.cancelWriting();
        return QStringLiteral("its mode cannot be set to 0600");
    }
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

}  // namespace

Store::Store(QString directory, Clock& clock, std::chrono::milliseconds saveDelay, std::function<void()> save)
    : m_directory(std::move(directory)), m_saveDelay(saveDelay), m_saveTimer(clock.createTimer(std::move(save)))
{
    m_writer.setMaxThreadCount(1);  // one write after the other, in order
}

Store::~Store()
{
    m_writer.waitForDone();
}

std::optional<StartError> Store::lock()
{
    m_keptStoredFiles.clear();
    const QString directory = QDir(m_directory).absolutePath();
    // A directory made by an older version with the umask's mode is made
    // private too; a folder that holds nothing of ours is left as it is.
    const QStringList ownFiles{kTransfersFile, kUsersFile, kMeFile, kDeletedFile, QString::fromLatin1(kLockFileName)};
    if (!makePrivateDirectory(directory, ownFiles)) {
        return StartError(StartError::Kind::supportDirectoryUnusable,
                          QStringLiteral("Cannot create the support directory %1.").arg(directory));
    }
    auto lock = std::make_unique<QLockFile>(QDir(directory).filePath(QString::fromLatin1(kLockFileName)));
    // A lock is stale only when its process is gone, however old it is.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        // It names this process and host: no one else's to read.
        QFile::setPermissions(lock->fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        m_lock = std::move(lock);
        return std::nullopt;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host, application;
        QString holder;
        if (lock->getLockInfo(&pid, &host, &application) && pid > 0)
            holder = QStringLiteral(" (process %1)").arg(pid);
        return StartError(StartError::Kind::supportDirectoryLocked,
                          QStringLiteral("The support directory %1 is in use by another Brenvo process%2.")
                              .arg(directory, holder));
    }
    return StartError(StartError::Kind::supportDirectoryUnusable,
                      QStringLiteral("Cannot lock the support directory %1.").arg(directory));
}

void Store::unlock()
{
    finishWrites();
    m_lock.reset();
}

template <typename T> std::optional<T> Store::loadStored(const QString& name)
{
    Stored<T> stored = readStored<T>(QDir(m_directory).filePath(name));
    if (stored.problem)
        keepAside(name, *stored.problem, stored.regular);
    return std::move(stored.value);
}

std::optional<QList<File>> Store::loadFiles()
{
    std::optional<QList<File>> stored = loadStored<QList<File>>(kTransfersFile);
    if (!stored)
        return stored;
    // Everything that finds a record by its id relies on ids being unique.
    QList<File> files;
    QSet<QUuid> seen;
    for (File& file : *stored) {
        if (seen.contains(file.id())) {
            logWarning(lcController(), QStringLiteral("Dropped a second stored record with id %1").arg(file.id().toString(QUuid::WithoutBraces)));
            continue;
        }
        seen.insert(file.id());
        // Failures are not stored, but a failed final move leaves its partial
        // file beside the target: such a download is not done.
        if (file.download && file.location() && file.transferred() && pathExists(file.partialPath()))
            file.error = VortanError::other(
                QStringLiteral("The finished download is still at %1: it could not be moved into place")
                    .arg(file.partialPath()));
        files.append(std::move(file));
    }
    return files;
}
std::optional<QList<User>> Store::loadUsers() { return loadStored<QList<User>>(kUsersFile); }
std::optional<User> Store::loadMe() { return loadStored<User>(kMeFile); }
std::optional<UuidListsByKey> Store::loadDeleted() { return loadStored<UuidListsByKey>(kDeletedFile); }

std::optional<QList<User>> Store::readBundledUsers(const QString& path)
{
    return readStored<QList<User>>(path, true).value;
}

void Store::keepAside(const QString& name, const QString& problem, bool rename)
{
    // Saving would replace what could not be read with what could: the file
    // is renamed aside instead, for the user (or a newer version) to recover.
    const QDir directory(m_directory);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss"));
    QString aside = name + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; pathExists(directory.filePath(aside)) && n < 100; ++n)
        aside = name + QStringLiteral(".unreadable-%1-%2").arg(stamp).arg(n);
    QString message;
    if (rename && moveNoReplace(directory.filePath(name), directory.filePath(aside)) == 0) {
        message = QStringLiteral("%1 could not be read (%2); it was kept as %3 and the program started without it")
                      .arg(directory.filePath(name), problem, directory.filePath(aside));
    } else {
        m_keptStoredFiles.insert(name);
        message = QStringLiteral("%1 could not be read (%2); it will not be written over")
                      .arg(directory.filePath(name), problem);
    }
    // Reported before it is logged: a front end that shows the report can
    // leave the log line out.
    emit warning(message);
    logWarning(lcController(), message);
}

Store::Outcomes Store::writeAll(const State& state) const
{
    QList<File> files;
    qsizetype count = 0;
    for (const QList<File>& chunk : state.files)
        count += chunk.size();
    files.reserve(count);
    for (const QList<File>& chunk : state.files)
        files.append(chunk);
    Outcomes outcomes;
    outcomes.emplace_back(kTransfersFile, writeStored(m_directory, kTransfersFile, files, m_keptStoredFiles));
    outcomes.emplace_back(kUsersFile, writeStored(m_directory, kUsersFile, state.users, m_keptStoredFiles));
    if (state.me)
        outcomes.emplace_back(kMeFile, writeStored(m_directory, kMeFile, *state.me, m_keptStoredFiles));
    outcomes.emplace_back(kDeletedFile, writeStored(m_directory, kDeletedFile, state.deleted, m_keptStoredFiles));
    return outcomes;
}

void Store::write(const State& state)
{
    m_saveTimer->stop();
    finishWrites();
    for (const auto& [name, error] : writeAll(state))
        noteSaved(name, error);
}

void Store::writeInBackground(State state)
{
    m_saveTimer->stop();
    // The writer reads m_directory and m_keptStoredFiles: they change only
    // while loading, before anything is written.
    auto shared = std::make_shared<State>(std::move(state));
    ++m_running;
    m_writer.start([this, shared]() mutable {
        const auto began = std::chrono::steady_clock::now();
        const Outcomes outcomes = writeAll(*shared);
        m_lastWriteNs = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - began).count();
        {
            const std::lock_guard guard(m_writtenLock);
            m_written.insert(m_written.end(), outcomes.begin(), outcomes.end());
        }
        --m_running;
        // The records go back to be released on the thread that made them.
        QMetaObject::invokeMethod(this, [this, shared = std::move(shared)] { reportWritten(); }, Qt::QueuedConnection);
    });
}

void Store::finishWrites()
{
    m_writer.waitForDone();
    reportWritten();
}

void Store::reportWritten()
{
    Outcomes outcomes;
    {
        const std::lock_guard guard(m_writtenLock);
        outcomes.swap(m_written);
    }
    for (const auto& [name, error] : outcomes)
        noteSaved(name, error);
}

void Store::noteSaved(const QString& name, const std::optional<QString>& error)
{
    // Said once per failure; the next save tries again.
    if (!error) {
        m_failedSaves.remove(name);
        return;
    }
    if (m_failedSaves.contains(name))
        return;
    m_failedSaves.insert(name);
    const QString message = QStringLiteral("Could not save %1 in %2: %3").arg(name, m_directory, *error);
    emit warning(message);
    logWarning(lcController(), message);
}

void Store::schedule()
{
    // At most one write per delay, however many changes come: the first
    // change since the last write fixes the time.
    if (!m_enabled || m_saveTimer->isActive())
        return;
    const auto share = std::chrono::ceil<std::chrono::milliseconds>(std::chrono::nanoseconds(m_lastWriteNs.load()) * kSaveShare);
    m_saveTimer->startOnce(std::max(m_saveDelay, share));
}

void Store::cancelScheduled()
{
    m_saveTimer->stop();
}

bool Store::pending() const
{
    if (m_saveTimer->isActive() || m_running > 0)
        return true;
    const std::lock_guard guard(m_writtenLock);
    return !m_written.empty();
}

}  // namespace vortan
