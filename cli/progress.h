#pragma once

#include "vortan/filechanges.h"
#include "vortan/filerow.h"
#include "vortan/user.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

namespace brenvo::cli {

// What `run` and `demo` show while transfers go on.
//
// On a terminal (live mode) every running transfer has a bar at the bottom
// of the screen, redrawn at each tick; event lines and diagnostic lines are
// printed above the bars, which are cleared and drawn again around them, so
// nothing tears. Otherwise (line mode) events are lines, and progress is at
// most a few lines per tick.
//
// Event lines are rate-limited in both modes: a burst, then a few a second;
// what is left out is counted in a later line.
class ProgressView {
public:
    struct Options {
        bool live = false;
        int columns = 80;
        // Diagnostic lines go to the same terminal as the bars.
        bool diagnosticsOnTerminal = false;
        std::function<std::int64_t()> nowMs;  // monotonic milliseconds
        std::function<void(const QByteArray&)> out;
        std::function<void(const QByteArray&)> err;
    };

    static constexpr int kEventBurst = 20;
    static constexpr int kEventsPerSecond = 5;
    static constexpr int kProgressLinesPerTick = 3;
    // Live mode: diagnostic lines wait for the next tick, or until this many
    // bytes have gathered.
    static constexpr qsizetype kMaxPendingDiagnostics = 16 * 1024;

    explicit ProgressView(Options options);

    bool live() const { return m_options.live; }
    void setColumns(int columns) { m_options.columns = columns; }

    // The records as loaded, before anything moved in this run: what a
    // record had then does not count as transferred in this run. Records
    // first seen later count from nothing.
    void setBaseline(const QList<vortan::FileRow>& files);
    // A new snapshot of the catalogue (and the users, for names).
    void update(const QList<vortan::FileRow>& files, const QList<vortan::User>& users);
    // The same for a publication that changed only these rows (rowIndex
    // finds a record's row in files): only they, and the rows still moving,
    // are looked at.
    void update(const QList<vortan::FileRow>& files, const QList<vortan::User>& users,
                const vortan::FileChanges& changes, const std::function<qsizetype(const QUuid&)>& rowIndex);
    // Where the rows are read at each tick, instead of keeping the last
    // snapshot: a kept copy makes the controller copy every row at its next
    // publication, which changes the rows in place.
    void setRowSource(std::function<const QList<vortan::FileRow>&()> source) { m_rowSource = std::move(source); }

    // One event line (rate-limited).
    void event(const QString& line);
    // One diagnostic line of the library, unchanged, to standard error (in
    // live mode on the same terminal, gathered and written above the bars at
    // the next tick).
    void diagnostic(const QString& line);
    // Redraws the bars (live) or prints progress lines (line mode).
    void tick();
    // Clears the bars for good (before the process prints its last lines).
    void finish();

    // Reports from the controller.
    void downloadFinished(const vortan::FileRow& file);
    void offerSent(const vortan::FileRow& file);
    void filesReceived(const QList<vortan::FileRow>& files, const vortan::User& user);

    // Blocks of the record that arrived (or were sent) in this run.
    std::int64_t blocksThisRun(const QUuid& id) const;

    // The bar line of one record, at most width characters.
    QString barLine(const vortan::FileRow& file, int width) const;

private:
    struct Tracked {
        std::int64_t lastCount = 0;
        std::int64_t thisRun = 0;
        std::int64_t printedCount = -1;  // line mode: the count last printed
        std::int64_t firstActiveMs = -1;
        std::int64_t firstActiveCount = 0;  // blocks at firstActiveMs
        std::int64_t lastActiveMs = -1;
        bool announced = false;
        bool errorShown = false;
        std::deque<std::pair<std::int64_t, std::int64_t>> samples;  // (ms, bytes)
    };

    static bool isActive(const vortan::FileRow& file);
    // Takes in one row of a new snapshot.
    void track(const vortan::FileRow& file, std::int64_t now);
    // Bytes per second over the last few seconds; nothing before a first measurement.
    std::optional<double> rateOf(const Tracked& tracked) const;
    QString userName(const QByteArray& key) const;
    QString direction(const vortan::FileRow& file) const;
    void printLine(const QString& line);  // above the bars
    void clearBars();
    void flushDiagnostics();
    void drawBars();
    bool takeToken();
    void printSkipped();

    const QList<vortan::FileRow>& rows() const { return m_rowSource ? m_rowSource() : m_files; }

    Options m_options;
    std::function<const QList<vortan::FileRow>&()> m_rowSource;
    QList<vortan::FileRow> m_files;  // without a row source
    QList<vortan::User> m_users;
    QHash<QUuid, Tracked> m_tracked;
    // Active records whose last samples differ: their rate moves with time.
    QSet<QUuid> m_moving;
    std::int64_t m_lastUpdateMs = -1;
    int m_drawnLines = 0;
    bool m_finished = false;
    double m_tokens = kEventBurst;
    std::int64_t m_tokensAtMs = -1;
    int m_skipped = 0;
    QByteArray m_pendingDiagnostics;
};

}  // namespace brenvo::cli
