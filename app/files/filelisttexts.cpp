#include "app/files/filelistmodel.h"

#include "app/files/fileactions.h"
#include "app/texts/librarytexts.h"

#include <QCoreApplication>
#include <QKeySequence>
#include <QLocale>

#include <algorithm>
#include <cmath>

using vortan::FileRow;

// The list's values and texts of a row, apart from the tree.

namespace brenvo {

QString FileListModel::folderOf(const QString& name)
{
    const qsizetype slash = name.indexOf(QLatin1Char('/'));
    return slash > 0 ? name.left(slash) : QString();
}

FileRow FileListModel::folderTotal(const QString& name, const QList<const FileRow*>& files)
{
    FileRow total;
    total.name = name;
    if (files.isEmpty())
        return total;
    total.download = files.front()->download;
    total.user = files.front()->user;
    bool transferring = false, queued = false, failed = false, done = true, unavailable = true;
    bool located = true;
    for (const FileRow* file : files) {
        total.length += file->length;
        total.numberOfBlocks += file->numberOfBlocks;
        total.blockCount += file->blockCount;
        total.bytesDone += file->bytesDone;
        total.bytesPerSecond += file->bytesPerSecond;
        transferring = transferring || file->status == FileRow::Status::transferring;
        queued = queued || file->status == FileRow::Status::queued;
        failed = failed || file->status == FileRow::Status::failed;
        done = done && file->status == FileRow::Status::done;
        unavailable = unavailable && file->unavailable;
        located = located && file->location;
        if (!total.error && file->error)
            total.error = file->error;
    }
    total.status = transferring ? FileRow::Status::transferring
                   : queued     ? FileRow::Status::queued
                   : failed     ? FileRow::Status::failed
                   : done       ? FileRow::Status::done
                                : FileRow::Status::paused;
    total.paused = total.status == FileRow::Status::paused;
    total.unavailable = unavailable;
    if (located)
        total.location = files.front()->location;
    if (total.bytesPerSecond > 0)
        total.secondsLeft = std::llround(double(total.length - total.bytesDone) / total.bytesPerSecond);
    return total;
}

QString FileListModel::sectionTitle(Section section)
{
    return section == Section::downloads ? QCoreApplication::translate("FileList", "Downloads")
                                         : QCoreApplication::translate("FileList", "Uploads");
}

QString FileListModel::sizeText(const FileRow& row)
{
    const QLocale locale;
    const QString length = locale.formattedDataSize(row.length, 1, QLocale::DataSizeSIFormat);
    if (!row.inProgress())
        return length;
    return QCoreApplication::translate("FileList", "%1 of %2")
        .arg(locale.formattedDataSize(row.bytesDone, 1, QLocale::DataSizeSIFormat), length);
}

QString FileListModel::timeLeftText(std::int64_t seconds)
{
    seconds = std::max<std::int64_t>(seconds, 0);
    if (seconds < 60)
        return QCoreApplication::translate("FileList", "%Ln s left", nullptr, int(seconds));
    const std::int64_t minutes = (seconds + 30) / 60;
    if (minutes < 60)
        return QCoreApplication::translate("FileList", "%Ln min left", nullptr, int(minutes));
    const QLocale locale;
    return QCoreApplication::translate("FileList", "%1 h %2 min left")
        .arg(locale.toString(qlonglong(minutes / 60)), locale.toString(int(minutes % 60)));
}

QString FileListModel::stateText(const FileRow& row, const QString& peerName)
{
    if (isWithdrawn(row))
        return peerName.isEmpty() ? QCoreApplication::translate("FileList", "Withdrawn")
                                  : QCoreApplication::translate("FileList", "Withdrawn by %1").arg(peerName);
    switch (row.status) {
    case FileRow::Status::done: return QCoreApplication::translate("FileList", "Done");
    case FileRow::Status::failed: return QCoreApplication::translate("FileList", "Failed");
    case FileRow::Status::paused:
        // An offer to us nobody acted on: nothing was paused.
        if (row.download && row.blockCount == 0 && !row.location)
            return QCoreApplication::translate("FileList", "Not downloaded");
        return QCoreApplication::translate("FileList", "Paused");
    case FileRow::Status::queued:
        return peerName.isEmpty() ? QCoreApplication::translate("FileList", "Waiting")
                                  : QCoreApplication::translate("FileList", "Waiting for %1").arg(peerName);
    case FileRow::Status::transferring: {
        if (row.bytesPerSecond <= 0)
            return QCoreApplication::translate("FileList", "Transferring");
        // "48 MB/s", "1.5 MB/s": a decimal only below ten of a unit.
        const auto bytes = std::llround(row.bytesPerSecond);
        double inUnit = double(bytes);
        while (inUnit >= 1000)
            inUnit /= 1000;
        const QString rate = QCoreApplication::translate("FileList", "%1/s").arg(
            QLocale().formattedDataSize(bytes, inUnit < 10 ? 1 : 0, QLocale::DataSizeSIFormat));
        if (!row.secondsLeft)
            return rate;
        return QCoreApplication::translate("FileList", "%1, %2").arg(rate, timeLeftText(*row.secondsLeft));
    }
    }
    return {};
}

QString FileListModel::detailText(const FileRow& row, const QString& peerName)
{
    if ((row.status == FileRow::Status::done || row.status == FileRow::Status::failed) && !isWithdrawn(row))
        return sizeText(row);
    return QCoreApplication::translate("FileList", "%1 — %2").arg(sizeText(row), stateText(row, peerName));
}

QString FileListModel::problemText(const FileRow& row)
{
    // A withdrawn download says so in its state.
    if (!row.error)
        return {};
    // Every block is here, but the file could not take its place.
    if (row.download && row.transferred() && row.status == FileRow::Status::failed)
        return QCoreApplication::translate("FileList", "Received, but not moved into place: %1")
            .arg(errorText(*row.error));
    return errorText(*row.error);
}

QString FileListModel::accessibleText(const FileRow& row, const QString& peerName)
{
    QString result = row.name + QStringLiteral(", ") + sizeText(row) + QStringLiteral(", ") + stateText(row, peerName);
    if (const QString problem = problemText(row); !problem.isEmpty())
        result += QStringLiteral(". ") + problem;
    QStringList commands;
    for (RowButton button : rowButtons(row)) {
        const QKeySequence keys = rowButtonShortcut(button);
        if (!keys.isEmpty())
            commands.append(rowButtonText(button) + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) +
                            QStringLiteral(")"));
    }
    if (!commands.isEmpty())
        result += QStringLiteral(". ") + commands.join(QStringLiteral(", "));
    return result;
}

}  // namespace brenvo
