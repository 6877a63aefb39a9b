#include "app/settings/downloadlocationsetting.h"

#include "vortan/directories.h"

#include <QDir>
#include <QUrl>

using vortan::DownloadLocation;
using vortan::defaultDownloadsDirectory;

namespace brenvo {

namespace {
// not translated: the stored values
const QString kDownloads = QStringLiteral("Downloads");
const QString kAsk = QStringLiteral("Ask");      // not translated: a stored value
const QString kOther = QStringLiteral("Other");  // not translated: a stored value
}  // namespace

DownloadLocationSetting DownloadLocationSetting::fromRawValue(const QString& raw)
{
    if (raw.isEmpty() || raw == kDownloads)
        return downloads();
    if (raw == kAsk)
        return ask();
    if (raw == kOther)
        return otherMenuItem();
    return other(raw);
}

QString DownloadLocationSetting::rawValue() const
{
    switch (m_kind) {
    case Kind::other: return m_folder;
    case Kind::downloads: return kDownloads;
    case Kind::ask: return kAsk;
    case Kind::otherMenuItem: return kOther;
    }
    return kDownloads;
}

std::optional<QString> DownloadLocationSetting::directoryPath() const
{
    switch (m_kind) {
    case Kind::other: return m_folder;
    case Kind::downloads: return downloadsDirectory();
    case Kind::ask:
    case Kind::otherMenuItem: return std::nullopt;
    }
    return std::nullopt;
}

DownloadLocation DownloadLocationSetting::withoutDialog() const
{
    if (const std::optional<QString> path = directoryPath())
        return DownloadLocation::directory(QUrl::fromLocalFile(*path));
    return DownloadLocation::downloads();
}

QString downloadsDirectory()
{
    static const QString path = [] {
        QString found = defaultDownloadsDirectory();
        if (found.isEmpty())
            found = QDir::home().filePath(QStringLiteral("Downloads"));  // not translated: the folder's name
        return QDir::cleanPath(found);
    }();
    return path;
}

}  // namespace brenvo
