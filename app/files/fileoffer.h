#pragma once

#include "vortan/file2.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <utility>

class QObject;

namespace brenvo {

// Files about to be offered: those described, and the URLs that could not
// be, with the error's description, in the given order.
struct OfferedFiles {
    QList<vortan::File2> files;
    QList<std::pair<QUrl, QString>> failures;
};

// Describes local files as themselves and folders as their files (each
// named by its path inside the folder, the folder's name first; a folder
// without files is a failure). Reads the file system: folders take long.
OfferedFiles describeFiles(const QList<QUrl>& urls);

// describeFiles() on a worker thread; done gets the result on context's
// thread, and is dropped when context is gone by then.
void describeFilesInBackground(const QList<QUrl>& urls, QObject* context, std::function<void(OfferedFiles)> done);

// The alert for failures: "Failed to share file x." with the error, or
// "Failed to share N files." with one line per failure ("<error> (<name>)").
struct FailureAlert {
    QString text;
    QString informativeText;
};
std::optional<FailureAlert> failureAlert(const QList<std::pair<QUrl, QString>>& failures);

// The items of a drop worth offering: local files and folders; items that
// do not exist are skipped.
QList<QUrl> droppedFiles(const QList<QUrl>& urls);

}  // namespace brenvo
