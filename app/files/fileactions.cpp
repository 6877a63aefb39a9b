#include "app/files/fileactions.h"

#include <QCoreApplication>

using vortan::FileRow;

namespace brenvo {

bool isWithdrawn(const FileRow& row)
{
    return row.download && row.unavailable && row.status != FileRow::Status::done;
}

FileActionFlags fileActionFlags(const QList<const FileRow*>& targets)
{
    FileActionFlags flags;
    for (const FileRow* row : targets) {
        if (isWithdrawn(*row))
            continue;
        if (row->status == FileRow::Status::failed)
            flags.retry = true;
        else if (row->status != FileRow::Status::done && row->paused)
            (row->download ? flags.download : flags.upload) = true;
        else if (row->status != FileRow::Status::done)
            flags.pause = true;
        if (row->local())
            flags.previewAndReveal = true;
        if (flags.download && flags.upload && flags.pause && flags.previewAndReveal && flags.retry)
            break;
    }
    return flags;
}

QList<RowButton> rowButtons(const FileRow& row)
{
    QList<RowButton> buttons;
    if (isWithdrawn(row))
        return {RowButton::remove};
    if (row.local()) {
        buttons.append(RowButton::preview);
        buttons.append(RowButton::reveal);
    }
    if (row.status == FileRow::Status::done)
        buttons.append(RowButton::done);
    else if (row.status == FileRow::Status::failed)
        buttons.append(RowButton::retry);
    else if (!row.paused)
        buttons.append(RowButton::pause);
    else
        buttons.append(row.download ? RowButton::download : RowButton::upload);
    return buttons;
}

QString rowButtonText(RowButton button)
{
    switch (button) {
    case RowButton::preview: return QCoreApplication::translate("FileList", "Preview");
    case RowButton::reveal: return QCoreApplication::translate("FileList", "Show in File Manager");
    case RowButton::pause: return QCoreApplication::translate("FileList", "Pause");
    case RowButton::download: return QCoreApplication::translate("FileList", "Download");
    case RowButton::upload: return QCoreApplication::translate("FileList", "Upload");
    case RowButton::retry: return QCoreApplication::translate("FileList", "Retry");
    case RowButton::done: return QCoreApplication::translate("FileList", "Done");
    case RowButton::remove: return QCoreApplication::translate("FileList", "Remove");
    }
    return {};
}

QString rowButtonIconName(RowButton button)
{
    switch (button) {
    case RowButton::preview: return QStringLiteral("document-preview");
    case RowButton::reveal: return QStringLiteral("folder-open");
    case RowButton::pause: return QStringLiteral("media-playback-pause");
    case RowButton::download: return QStringLiteral("folder-download");
    case RowButton::upload: return QStringLiteral("go-up");
    case RowButton::retry: return QStringLiteral("view-refresh");
    case RowButton::done: return QStringLiteral("emblem-success");
    case RowButton::remove: return QString::fromLatin1(kRemoveIconName);
    }
    return {};
}

}  // namespace brenvo

namespace brenvo {

QKeySequence rowButtonShortcut(RowButton button)
{
    switch (button) {
    case RowButton::preview: return QKeySequence(Qt::Key_Space);
    case RowButton::reveal: return QKeySequence(Qt::CTRL | Qt::Key_R);
    case RowButton::pause: return QKeySequence(Qt::CTRL | Qt::Key_P);
    case RowButton::download: return QKeySequence(Qt::CTRL | Qt::Key_D);
    case RowButton::upload: return QKeySequence(Qt::CTRL | Qt::Key_U);
    case RowButton::retry: return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R);
    case RowButton::done: return {};
    case RowButton::remove: return QKeySequence(Qt::Key_Delete);
    }
    return {};
}

}  // namespace brenvo
