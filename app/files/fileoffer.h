#pragma once

#include "vortan/file2.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>
#include <utility>

namespace brenvo {

// Files about to be offered: those described, and the URLs that could not
// be, with the error's description, in the given order.
struct OfferedFiles {
    QList<vortan::File2> files;
    QList<std::pair<QUrl, QString>> failures;
};

OfferedFiles describeFiles(const QList<QUrl>& urls);

// The alert for failures: "Failed to share file x." with the error, or
// "Failed to share N files." with one line per failure ("<error> (<name>)").
struct FailureAlert {
    QString text;
    QString informativeText;
};
std::optional<FailureAlert> failureAlert(const QList<std::pair<QUrl, QString>>& failures);

// The items of a drop worth offering: local files that are not folders;
// folders and items whose kind cannot be read are skipped.
QList<QUrl> droppedFiles(const QList<QUrl>& urls);

}  // namespace brenvo
