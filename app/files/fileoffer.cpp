#include "app/files/fileoffer.h"

#include "vortan/errors.h"

#include <QCoreApplication>
#include <QFileInfo>

using vortan::File2;
using vortan::IoError;

namespace brenvo {

OfferedFiles describeFiles(const QList<QUrl>& urls)
{
    OfferedFiles result;
    for (const QUrl& url : urls) {
        try {
            result.files.append(File2::at(url));
        } catch (const IoError& error) {
            result.failures.append({url, error.description()});
        }
    }
    return result;
}

std::optional<FailureAlert> failureAlert(const QList<std::pair<QUrl, QString>>& failures)
{
    if (failures.isEmpty())
        return std::nullopt;
    if (failures.size() == 1) {
        return FailureAlert{
            QCoreApplication::translate("FileOffer", "Failed to share file %1.").arg(failures.front().first.fileName()),
            failures.front().second};
    }
    QStringList lines;
    for (const auto& [url, error] : failures)
        lines.append(error + QStringLiteral(" (") + url.fileName() + QStringLiteral(")"));
    return FailureAlert{
        QCoreApplication::translate("FileOffer", "Failed to share %n files.", nullptr, int(failures.size())),
        lines.join(QLatin1Char('\n'))};
}

QList<QUrl> droppedFiles(const QList<QUrl>& urls)
{
    QList<QUrl> files;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (!info.exists() || info.isDir())
            continue;
        files.append(url);
    }
    return files;
}

}  // namespace brenvo
