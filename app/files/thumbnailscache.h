#pragma once

#include "vortan/filerow.h"

#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QThreadPool>
#include <QUuid>

namespace brenvo {

// The pictures shown beside files, one shared instance per process.
//
// A file with a local copy is read off the main thread: an image through
// QImageReader, scaled while decoding; any other file from the freedesktop
// thumbnail cache when it holds a current thumbnail; else the icon of its
// MIME type. A file without a local copy gets the icon of the type its name
// suggests at once. Entries are kept, by file id, while the process runs.
class ThumbnailsCache : public QObject {
    Q_OBJECT
public:
    struct Result {
        enum class State { loading, available };
        State state = State::loading;
        QPixmap image;  // when available
    };

    // size: the edge in device-independent pixels. thumbnailsDirectory: the
    // freedesktop cache's "normal" folder; empty: the user's.
    explicit ThumbnailsCache(int size = 48, QString thumbnailsDirectory = {}, QObject* parent = nullptr);
    // Waits for the reads in progress (each is one bounded image read).
    ~ThumbnailsCache() override;

    int size() const { return m_size; }

    // The entry of this file; the first call starts making it, so the result
    // is loading or, for a file without a local copy, available.
    const Result& thumbnail(const vortan::FileRow& file);
    // Makes the entry again (a download has finished), unless it is loading.
    void refresh(const vortan::FileRow& file);

    // The freedesktop cache file of a local path.
    QString cachedThumbnailPath(const QString& localPath) const;

signals:
    // The entry of this file became available later than asked for, or was
    // made again.
    void changed(const QUuid& id);

private:
    void generate(const vortan::FileRow& file, bool notify);
    Q_INVOKABLE void deliverResult(const QUuid& id, const QImage& image, const QString& iconName);
    QPixmap iconFor(const QString& iconName, const QString& genericIconName) const;

    int m_size;
    QString m_thumbnailsDirectory;
    QHash<QUuid, Result> m_cache;
    QThreadPool m_pool;
};

}  // namespace brenvo
