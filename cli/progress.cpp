#include "cli/progress.h"

#include "cli/lookup.h"
#include "cli/text.h"
#include "vortan/controller.h"

#include <algorithm>

namespace brenvo::cli {

namespace {

// Bytes of the blocks counted, never past the file's length.
std::int64_t bytesOf(const vortan::FileRow& file, std::int64_t blocks)
{
    return std::min(file.length, blocks * vortan::blockSize);
}

constexpr std::int64_t kRateWindowMs = 3000;
constexpr int kMaxListedOffers = 5;

constexpr int kSizeWidth = 10;  // "1023.9 MiB"
constexpr int kRateWidth = 12;  // "1023.9 MiB/s"
constexpr int kEtaWidth = 11;   // "ETA 3:02:10"

// At the measured rate; unknown before a measurement or while nothing moves.
QString timeLeft(const vortan::FileRow& file, const std::optional<double>& rate)
{
    if (!rate || *rate <= 0.0)
        return QStringLiteral("--:--");
    const double left = double(std::max<std::int64_t>(file.length - file.bytesDone, 0));
    return formatDuration(std::int64_t(left / *rate + 0.5));
}

QString fit(const QString& text, int width)
{
    if (width <= 0)
        return QString();
    if (text.size() <= width)
        return text;
    if (width <= 3)
        return text.left(width);
    return text.left(width - 3) + QStringLiteral("...");
}

}  // namespace

ProgressView::ProgressView(Options options) : m_options(std::move(options))
{
    if (m_options.columns < 20)
        m_options.columns = 20;
}

bool ProgressView::isActive(const vortan::FileRow& file)
{
    // A resumed download counts while it waits for its peer; an offer only
    // while its blocks are asked for.
    return file.download ? file.active() : file.status == vortan::FileRow::Status::transferring;
}

void ProgressView::setBaseline(const QList<vortan::FileRow>& files)
{
    for (const vortan::FileRow& file : files) {
        Tracked& tracked = m_tracked[file.id];
        tracked.lastCount = file.blockCount;
    }
}

void ProgressView::update(const QList<vortan::FileRow>& files, const QList<vortan::User>& users)
{
    if (!m_rowSource)
        m_files = files;
    m_users = users;
    const std::int64_t now = m_options.nowMs();
    for (const vortan::FileRow& file : files)
        track(file, now);
    m_lastUpdateMs = now;
}

void ProgressView::update(const QList<vortan::FileRow>& files, const QList<vortan::User>& users,
                          const vortan::FileChanges& changes, const std::function<qsizetype(const QUuid&)>& rowIndex)
{
    if (!m_rowSource)
        m_files = files;
    m_users = users;
    const std::int64_t now = m_options.nowMs();
    QSet<QUuid> seen;
    seen.reserve(changes.inserted.size() + changes.updated.size() + m_moving.size());
    const auto visit = [&](const QUuid& id) {
        if (seen.contains(id))
            return;
        seen.insert(id);
        const qsizetype row = rowIndex(id);
        if (row >= 0 && row < files.size())
            track(files[row], now);
    };
    for (const auto& inserted : changes.inserted)
        visit(inserted.second);
    for (const QUuid& id : changes.updated)
        visit(id);
    for (const QUuid& id : QList<QUuid>(m_moving.cbegin(), m_moving.cend()))
        visit(id);
    for (const auto& removed : changes.removed)
        m_moving.remove(removed.second);
    m_lastUpdateMs = now;
}

void ProgressView::track(const vortan::FileRow& file, std::int64_t now)
{
    // A record not in the baseline came in this run (a list, an offer):
    // all its blocks count, even those before the first snapshot shown.
    Tracked& tracked = m_tracked[file.id];
    const std::int64_t count = file.blockCount;
    if (count >= tracked.lastCount) {
        tracked.thisRun += count - tracked.lastCount;
    } else {
        // The blocks were cleared (a partial file found missing): what is
        // there now has all come in this run.
        tracked.thisRun += count;
    }
    if (count != tracked.lastCount)
        tracked.lastActiveMs = now;
    tracked.lastCount = count;

    const bool active = isActive(file);
    if (active) {
        if (tracked.firstActiveMs < 0) {
            tracked.firstActiveMs = now;
            tracked.firstActiveCount = count;
        }
        // A record left alone while it stood still still had its last
        // bytes at the previous snapshot.
        auto& samples = tracked.samples;
        if (!samples.empty() && samples.back().first < m_lastUpdateMs && m_lastUpdateMs < now)
            samples.emplace_back(m_lastUpdateMs, samples.back().second);
        samples.emplace_back(now, bytesOf(file, count));
        while (samples.size() > 2 && now - samples.front().first > kRateWindowMs)
            samples.pop_front();
        if (samples.front().second != samples.back().second)
            m_moving.insert(file.id);
        else
            m_moving.remove(file.id);
    } else {
        m_moving.remove(file.id);
    }
    if (active && !tracked.announced) {
        tracked.announced = true;
        if (file.download) {
            event(QStringLiteral("downloading %1 from %2 into %3")
                      .arg(printable(file.name), userName(file.user),
                           printable(file.location->toLocalFile())));
        } else {
            event(QStringLiteral("sending %1 to %2").arg(printable(file.name), userName(file.user)));
        }
    }
    if (file.error && !tracked.errorShown) {
        tracked.errorShown = true;
        event(QStringLiteral("error %1 %2 %3: %4")
                  .arg(printable(file.name), file.download ? QStringLiteral("from") : QStringLiteral("to"),
                       userName(file.user), printable(file.error->localizedDescription())));
    } else if (!file.error) {
        tracked.errorShown = false;
    }
}

std::optional<double> ProgressView::rateOf(const Tracked& tracked) const
{
    if (tracked.samples.size() < 2)
        return std::nullopt;
    const auto& first = tracked.samples.front();
    const auto& last = tracked.samples.back();
    const std::int64_t ms = last.first - first.first;
    if (ms <= 0 || last.second < first.second)
        return std::nullopt;
    return double(last.second - first.second) * 1000.0 / double(ms);
}

QString ProgressView::userName(const QByteArray& key) const
{
    return userLabel(m_users, key);
}

QString ProgressView::direction(const vortan::FileRow& file) const
{
    return file.download ? QStringLiteral("recv") : QStringLiteral("send");
}

QString ProgressView::barLine(const vortan::FileRow& file, int width) const
{
    const auto it = m_tracked.constFind(file.id);
    const std::optional<double> rate = it == m_tracked.cend() ? std::nullopt : rateOf(*it);
    const std::int64_t total = file.numberOfBlocks;
    const std::int64_t done = file.blockCount;
    const double fraction = total > 0 ? double(done) / double(total) : 1.0;
    const int percent = int(fraction * 100.0);

    // Fixed widths, so that the columns of the bars stay in place.
    const QString tail = QStringLiteral(" %1% %2/%3 %4 %5 %6 %7")
                             .arg(percent, 3)
                             .arg(formatSize(bytesOf(file, done)), kSizeWidth)
                             .arg(formatSize(file.length), -kSizeWidth)
                             .arg(rate ? formatRate(*rate) : QStringLiteral("- MiB/s"), kRateWidth)
                             .arg(QStringLiteral("ETA ") + timeLeft(file, rate), -kEtaWidth)
                             .arg(file.download ? QStringLiteral("from") : QStringLiteral("to"), userName(file.user));
    const QString head = direction(file) + QLatin1Char(' ');
    int barWidth = std::clamp(width / 4, 5, 30);
    int nameWidth = width - int(head.size()) - int(tail.size()) - barWidth - 3;
    if (nameWidth < 8) {
        barWidth = std::max(0, barWidth - (8 - nameWidth));
        nameWidth = width - int(head.size()) - int(tail.size()) - barWidth - 3;
    }
    QString bar;
    if (barWidth > 0) {
        const int filled = std::clamp(int(fraction * barWidth), 0, barWidth);
        bar = QStringLiteral(" [") + QString(filled, QLatin1Char('#')) + QString(barWidth - filled, QLatin1Char('-'))
              + QLatin1Char(']');
    }
    const QString name = fit(printable(file.name), std::max(nameWidth, 1));
    return fit(head + name.leftJustified(std::max(nameWidth, 1)) + bar + tail, width);
}

void ProgressView::event(const QString& line)
{
    if (!takeToken()) {
        ++m_skipped;
        return;
    }
    printSkipped();
    printLine(line);
}

bool ProgressView::takeToken()
{
    const std::int64_t now = m_options.nowMs();
    if (m_tokensAtMs >= 0)
        m_tokens = std::min<double>(kEventBurst, m_tokens + double(now - m_tokensAtMs) * kEventsPerSecond / 1000.0);
    m_tokensAtMs = now;
    if (m_tokens < 1.0)
        return false;
    m_tokens -= 1.0;
    return true;
}

void ProgressView::printSkipped()
{
    if (m_skipped == 0)
        return;
    const int skipped = m_skipped;
    m_skipped = 0;
    printLine(QStringLiteral("(%1 more events not shown)").arg(skipped));
}

void ProgressView::printLine(const QString& line)
{
    if (m_options.live && !m_finished) {
        clearBars();
        flushDiagnostics();
        m_options.out((line + QLatin1Char('\n')).toUtf8());
        drawBars();
    } else {
        m_options.out((line + QLatin1Char('\n')).toUtf8());
    }
}

void ProgressView::diagnostic(const QString& line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    if (m_options.live && !m_finished && m_options.diagnosticsOnTerminal) {
        // Above the bars, a batch at a time: clearing and drawing the bars
        // for each line would cost more than the transfer.
        m_pendingDiagnostics += bytes;
        if (m_pendingDiagnostics.size() >= kMaxPendingDiagnostics) {
            clearBars();
            flushDiagnostics();
            drawBars();
        }
        return;
    }
    m_options.err(bytes);
}

void ProgressView::flushDiagnostics()
{
    if (m_pendingDiagnostics.isEmpty())
        return;
    m_options.err(m_pendingDiagnostics);
    m_pendingDiagnostics.clear();
}

void ProgressView::clearBars()
{
    if (m_drawnLines == 0)
        return;
    m_options.out(QStringLiteral("\r\x1b[%1A\x1b[J").arg(m_drawnLines).toUtf8());
    m_drawnLines = 0;
}

void ProgressView::drawBars()
{
    QByteArray bytes;
    int lines = 0;
    for (const vortan::FileRow& file : rows()) {
        if (!isActive(file))
            continue;
        bytes += (barLine(file, m_options.columns - 1) + QLatin1Char('\n')).toUtf8();
        ++lines;
    }
    if (!bytes.isEmpty())
        m_options.out(bytes);
    m_drawnLines = lines;
}

void ProgressView::tick()
{
    if (m_finished)
        return;
    if (m_skipped > 0 && takeToken())
        printSkipped();
    if (m_options.live) {
        clearBars();
        flushDiagnostics();
        drawBars();
        return;
    }

    QList<const vortan::FileRow*> changed;
    for (const vortan::FileRow& file : rows()) {
        const Tracked& tracked = m_tracked[file.id];
        if (isActive(file) && tracked.printedCount != file.blockCount)
            changed.append(&file);
    }
    if (changed.size() > kProgressLinesPerTick) {
        std::int64_t done = 0;
        std::int64_t total = 0;
        std::optional<double> rate;
        for (const vortan::FileRow* file : std::as_const(changed)) {
            Tracked& tracked = m_tracked[file->id];
            tracked.printedCount = file->blockCount;
            done += file->blockCount;
            total += file->numberOfBlocks;
            if (const std::optional<double> r = rateOf(tracked))
                rate = rate.value_or(0.0) + *r;
        }
        printLine(QStringLiteral("progress %1 transfers: %2/%3 blocks%4")
                      .arg(changed.size())
                      .arg(done)
                      .arg(total)
                      .arg(rate ? QStringLiteral(", ") + formatRate(*rate) : QString()));
        return;
    }
    for (const vortan::FileRow* file : std::as_const(changed)) {
        Tracked& tracked = m_tracked[file->id];
        tracked.printedCount = file->blockCount;
        const std::int64_t total = file->numberOfBlocks;
        const std::int64_t done = file->blockCount;
        const std::optional<double> rate = rateOf(tracked);
        printLine(QStringLiteral("progress %1 %2 %3 %4: %5/%6 blocks (%7%)%8")
                      .arg(direction(*file), printable(file->name),
                           file->download ? QStringLiteral("from") : QStringLiteral("to"), userName(file->user))
                      .arg(done)
                      .arg(total)
                      .arg(total > 0 ? int(double(done) * 100.0 / double(total)) : 100)
                      .arg(rate ? QStringLiteral(", %1, %2 left").arg(formatRate(*rate), timeLeft(*file, rate)) : QString()));
    }
}

void ProgressView::finish()
{
    if (m_options.live)
        clearBars();
    flushDiagnostics();
    m_finished = true;
    printSkipped();
}

void ProgressView::downloadFinished(const vortan::FileRow& file)
{
    // The published snapshot may be a step behind: count from the record.
    Tracked& tracked = m_tracked[file.id];
    const std::int64_t count = file.blockCount;
    tracked.thisRun += count >= tracked.lastCount ? count - tracked.lastCount : count;
    tracked.lastCount = count;
    const std::int64_t now = m_options.nowMs();
    // The speed since the transfer was first seen moving (publication is
    // throttled, so that may be a little after it began).
    QString speed;
    if (tracked.firstActiveMs >= 0 && now > tracked.firstActiveMs && count > tracked.firstActiveCount) {
        const double bytes = double(bytesOf(file, count) - bytesOf(file, tracked.firstActiveCount));
        speed = QStringLiteral(", ") + formatRate(bytes * 1000.0 / double(now - tracked.firstActiveMs));
    }
    const QString target = file.location ? printable(file.location->toLocalFile()) : QString();
    event(QStringLiteral("finished %1 from %2 into %3 (%4, %5 blocks in this run%6)")
              .arg(printable(file.name), userName(file.user), target, formatSize(file.length))
              .arg(tracked.thisRun)
              .arg(speed));
}

void ProgressView::offerSent(const vortan::FileRow& file)
{
    Tracked& tracked = m_tracked[file.id];
    const std::int64_t count = file.blockCount;
    tracked.thisRun += count >= tracked.lastCount ? count - tracked.lastCount : count;
    tracked.lastCount = count;
    event(QStringLiteral("sent %1 to %2 (%3, %4 blocks in this run)")
              .arg(printable(file.name), userName(file.user), formatSize(file.length))
              .arg(tracked.thisRun));
}

void ProgressView::filesReceived(const QList<vortan::FileRow>& files, const vortan::User& user)
{
    const QString name = printable(user.name);
    for (qsizetype i = 0; i < files.size() && i < kMaxListedOffers; ++i) {
        const vortan::FileRow& file = files[i];
        event(QStringLiteral("offered %1 (%2) by %3, id %4")
                  .arg(printable(file.name), formatSize(file.length), name, idString(file.id)));
    }
    if (files.size() > kMaxListedOffers)
        event(QStringLiteral("offered %1 more files by %2").arg(files.size() - kMaxListedOffers).arg(name));
}

std::int64_t ProgressView::blocksThisRun(const QUuid& id) const
{
    return m_tracked.value(id).thisRun;
}

}  // namespace brenvo::cli
