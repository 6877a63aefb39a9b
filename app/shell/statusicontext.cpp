#include "app/shell/statusicontext.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <cmath>

using vortan::FileRow;

namespace brenvo {

namespace {

QString timeLeft(double seconds)
{
    if (seconds < 60)
        return QCoreApplication::translate("StatusIcon", "less than a minute left");
    const auto minutes = qint64(std::ceil(seconds / 60));
    if (minutes < 60)
        return QCoreApplication::translate("StatusIcon", "%Ln min left", nullptr, int(minutes));
    const QLocale locale;
    return QCoreApplication::translate("StatusIcon", "%1 h %2 min left")
        .arg(locale.toString(minutes / 60), locale.toString(minutes % 60));
}

}  // namespace

QString transferSummary(const QList<FileRow>& rows)
{
    qsizetype count = 0;
    std::int64_t length = 0;
    std::int64_t done = 0;
    double rate = 0;
    for (const FileRow& row : rows) {
        if (!movingOrWanted(row))
            continue;
        ++count;
        length += std::max<std::int64_t>(row.length, 0);
        done += std::clamp<std::int64_t>(row.bytesDone, 0, std::max<std::int64_t>(row.length, 0));
        rate += std::max(row.bytesPerSecond, 0.0);
    }
    if (count == 0)
        return {};
    // One file spelled out: without a catalogue (English) a %n plural reads "1 files".
    const QString files = count == 1 ? QCoreApplication::translate("StatusIcon", "1 file")
                                     : QCoreApplication::translate("StatusIcon", "%Ln files", nullptr, int(count));
    const int percent = length > 0 ? int(std::floor(100.0 * double(done) / double(length))) : 0;
    const QString summary = QCoreApplication::translate("StatusIcon", "%1, %2 %", "the files, their percentage done")
                                .arg(files, QLocale().toString(percent));
    if (rate > 0 && length > done)
        return QCoreApplication::translate("StatusIcon", "%1 — %2", "the summary, the time left")
            .arg(summary, timeLeft(double(length - done) / rate));
    return summary;
}

bool movingOrWanted(const FileRow& row)
{
    if (row.unavailable)
        return false;
    return row.download ? row.active() : row.status == FileRow::Status::transferring;
}

qsizetype runningDownloads(const QList<FileRow>& rows)
{
    return std::count_if(rows.cbegin(), rows.cend(),
                         [](const FileRow& row) { return row.download && movingOrWanted(row); });
}

QList<QUuid> pausableFiles(const QList<FileRow>& rows)
{
    QList<QUuid> ids;
    for (const FileRow& row : rows)
        if (row.active())
            ids.append(row.id);
    return ids;
}

QList<QUuid> resumableFiles(const QList<FileRow>& rows)
{
    QList<QUuid> ids;
    for (const FileRow& row : rows)
        if (row.paused && !row.transferred() && !row.unavailable && (!row.download || row.location))
            ids.append(row.id);
    return ids;
}

QList<WaitingOffers> waitingOffers(const QList<FileRow>& rows, const QSet<QUuid>& offered)
{
    QList<WaitingOffers> waiting;
    for (const FileRow& row : rows) {
        if (!offered.contains(row.id) || !row.download || !row.paused || row.unavailable || row.blockCount > 0
            || row.location)
            continue;
        auto group = std::find_if(waiting.begin(), waiting.end(),
                                  [&](const WaitingOffers& offers) { return offers.user == row.user; });
        if (group == waiting.end())
            waiting.append({row.user, {row.id}});
        else
            group->files.append(row.id);
    }
    return waiting;
}

}  // namespace brenvo
