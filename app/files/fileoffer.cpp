#include "app/files/fileoffer.h"

#include "vortan/errors.h"
#include "vortan/folderfiles.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>

#include <memory>

using vortan::File2;
using vortan::IoError;

namespace brenvo {

OfferedFiles describeFiles(const QList<QUrl>& urls)
{
    OfferedFiles result;
    for (const QUrl& url : urls) {
        try {
            if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir()) {
                const QList<File2> files = vortan::filesOfFolder(url.toLocalFile());
                if (files.isEmpty())
                    result.failures.append({url, QCoreApplication::translate("FileOffer", "The folder holds no files.")});
                result.files.append(files);
            } else {
                result.files.append(File2::at(url));
            }
        } catch (const IoError& error) {
            result.failures.append({url, error.description()});
        }
    }
    return result;
}

void describeFilesInBackground(const QList<QUrl>& urls, QObject* context, std::function<void(OfferedFiles)> done)
{
    // The watcher belongs to context: gone with it, it takes the answer along.
    auto promise = std::make_shared<QPromise<OfferedFiles>>();
    auto* watcher = new QFutureWatcher<OfferedFiles>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [watcher, done = std::move(done)] {
        watcher->deleteLater();
        if (watcher->future().resultCount() > 0)
            done(watcher->result());
    });
    watcher->setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, urls] {
        promise->addResult(describeFiles(urls));
        promise->finish();
    });
}

std::optional<FailureAlert> failureAlert(const QList<std::pair<QUrl, QString>>& failures)
{
    if (failures.isEmpty())
        return std::nullopt;
    if (failures.size() == 1) {
        const QUrl& url = failures.front().first;
        const QString text = QFileInfo(url.toLocalFile()).isDir()
                                 ? QCoreApplication::translate("FileOffer", "Failed to share the folder %1.")
                                 : QCoreApplication::translate("FileOffer", "Failed to share file %1.");
        return FailureAlert{text.arg(url.fileName()), failures.front().second};
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
        if (!info.exists())
            continue;
        files.append(url);
    }
    return files;
}

}  // namespace brenvo
