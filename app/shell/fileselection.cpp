#include "app/shell/fileselection.h"

#include "vortan/controller.h"

#include <QStringList>

using vortan::Controller;
using vortan::FileRow;

namespace brenvo {

QUrl fileSelectionUrl(const QList<QUuid>& ids)
{
    QStringList pieces;
    for (const QUuid& id : ids)
        pieces.append(id.toString(QUuid::WithoutBraces).toUpper());
    return QUrl(QStringLiteral("brenvo://file/") + pieces.join(QLatin1Char(',')));
}

QList<QUuid> fileIdsFromUrl(const QUrl& url)
{
    const QString path = url.path();
    const QString last = path.section(QLatin1Char('/'), -1);
    QList<QUuid> ids;
    for (const QString& piece : last.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QUuid id = QUuid::fromString(piece);
        if (!id.isNull())
            ids.append(id);
    }
    return ids;
}

QList<FileRow> knownFiles(const Controller& controller, const QList<QUuid>& ids)
{
    QList<FileRow> rows;
    for (const QUuid& id : ids)
        if (const std::optional<FileRow> row = controller.file(id))
            rows.append(*row);
    return rows;
}

SceneController* windowForFiles(const QList<SceneController*>& windows, const QByteArray& user)
{
    if (windows.size() == 1)
        return windows.first();
    for (SceneController* window : windows)
        if (window->phase() == SceneController::Phase::active && window->selectedUser() == user)
            return window;
    return nullptr;
}

void selectFilesIn(SceneController& window, const QList<FileRow>& files)
{
    if (files.isEmpty())
        return;
    QSet<QUuid> ids;
    for (const FileRow& row : files)
        ids.insert(row.id);
    window.setSelectedUser(files.first().user);
    window.setSelectedFiles(ids);
}

}  // namespace brenvo
