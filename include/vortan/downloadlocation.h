#pragma once

#include <QUrl>

namespace vortan {

// Where a download goes.
class DownloadLocation {
public:
    enum class Kind {
        directory,  // into this directory under the file's name
        file,       // exactly at this URL
        downloads,  // into the default downloads directory under the file's name
    };

    static DownloadLocation directory(QUrl url) { return {Kind::directory, std::move(url)}; }
    static DownloadLocation file(QUrl url) { return {Kind::file, std::move(url)}; }
    static DownloadLocation downloads() { return {Kind::downloads, {}}; }

    Kind kind() const { return m_kind; }
    // The directory or file URL; empty for downloads.
    const QUrl& url() const { return m_url; }

    friend bool operator==(const DownloadLocation&, const DownloadLocation&) = default;

private:
    DownloadLocation(Kind kind, QUrl url) : m_kind(kind), m_url(std::move(url)) {}

    Kind m_kind;
    QUrl m_url;
};

}  // namespace vortan
