#pragma once

#include "vortan/clock.h"
#include "vortan/controlleroptions.h"
#include "vortan/records/coding.h"
#include "vortan/records/file.h"
#include "vortan/user.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

class QLockFile;

namespace vortan {

// The support directory: one process's lock on it, and the four stored
// property lists (transfers, users, the own card, the removed ids), read at
// start and written atomically, at most once per save delay after a change.
//
// A stored file that cannot be read is renamed aside (or, when that fails,
// never written over); a write that fails is reported once until one
// succeeds. Both reports go out through warning() before they are logged.
//
// Scheduled saves are encoded and written on a writer thread of their own:
// tens of thousands of records take a second or more to encode, which the
// event loop must not wait for. Writes happen in the order asked for; a
// write() made on this thread waits for those before it.
class Store : public QObject {
    Q_OBJECT
public:
    // The lock file that makes one process own a support directory.
    static constexpr const char* kLockFileName = "brenvo.lock";

    // `save` writes the current state (through write()); schedule() calls
    // it `saveDelay` after the first change since the last write.
    Store(QString directory, Clock& clock, std::chrono::milliseconds saveDelay, std::function<void()> save);
    ~Store() override;

    const QString& directory() const { return m_directory; }

    // Takes the directory (making it, private, if need be).
    std::optional<StartError> lock();
    void unlock();

    // Each stored file, if there and readable. Of records with the same id
    // only the first is kept; a finished download whose partial file is
    // still there (its final move failed) comes with that error.
    std::optional<QList<File>> loadFiles();
    std::optional<QList<User>> loadUsers();
    std::optional<User> loadMe();
    std::optional<UuidListsByKey> loadDeleted();
    // A bundled user list, read following links; nothing when unreadable.
    static std::optional<QList<User>> readBundledUsers(const QString& path);

    // What is stored: the records, in chunks that follow each other, the
    // users, the own card and the removed ids.
    struct State {
        QList<QList<File>> files;
        QList<User> users;
        std::optional<User> me;
        UuidListsByKey deleted;
    };
    // Writes the four files now (the card only when there is one), after
    // the writes still in the writer's hands.
    void write(const State& state);
    // The same on the writer thread; failures are reported on this thread.
    // The lists are shared, not copied, until this thread changes its own.
    void writeInBackground(State state);

    // Writes are scheduled only once enabled (nothing is loaded before).
    void enable() { m_enabled = true; }
    bool enabled() const { return m_enabled; }
    void schedule();
    void cancelScheduled();
    // A write is scheduled, or one on the writer thread is not reported yet.
    bool pending() const;

signals:
    void warning(const QString& message);

private:
    template <typename T> std::optional<T> loadStored(const QString& name);
    void keepAside(const QString& name, const QString& problem, bool rename);
    void noteSaved(const QString& name, const std::optional<QString>& error);
    using Outcomes = std::vector<std::pair<QString, std::optional<QString>>>;
    Outcomes writeAll(const State& state) const;
    // Waits for the writer thread and reports what it did.
    void finishWrites();
    void reportWritten();

    QString m_directory;
    std::chrono::milliseconds m_saveDelay;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<Timer> m_saveTimer;
    bool m_enabled = false;
    // The stored files whose last write failed (reported once until one succeeds).
    QSet<QString> m_failedSaves;
    // Stored files that could not be read and were left in place: never written.
    QSet<QString> m_keptStoredFiles;

    // What the writer thread did, for this thread to report.
    mutable std::mutex m_writtenLock;
    Outcomes m_written;
    std::atomic<int> m_running{0};  // background writes asked for and not done
    // How long the last background write took: the next one waits at least
    // kSaveShare times as long, so that saving hundreds of thousands of
    // records takes a small share of a processor, not a whole one.
    static constexpr int kSaveShare = 10;
    std::atomic<std::int64_t> m_lastWriteNs{0};
    QThreadPool m_writer;              // last: its thread ends before the rest goes
};

}  // namespace vortan
