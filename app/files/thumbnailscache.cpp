#include "app/files/thumbnailscache.h"

#include "app/files/fileactions.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPointer>
#include <QRunnable>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

using vortan::FileRow;

namespace brenvo {

namespace {

double deviceScale()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

// An image scaled to fit edge × edge while it is decoded; null when the
// file is no image Qt reads (or is larger than its allocation limit).
QImage readImage(const QString& path, int edge)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return {};
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > edge || size.height() > edge))
        reader.setScaledSize(size.scaled(edge, edge, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > edge || image.height() > edge))
        image = image.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

// The cache's thumbnail when it describes the file as it is now.
QImage readCachedThumbnail(const QString& thumbnailPath, const QFileInfo& file, int edge)
{
    QImageReader reader(thumbnailPath, "png");
    if (!reader.canRead())
        return {};
    const QString mtime = reader.text(QStringLiteral("Thumb::MTime"));
    if (!mtime.isEmpty() && mtime != QString::number(file.lastModified().toSecsSinceEpoch()))
        return {};
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > edge || image.height() > edge))
        image = image.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

// One file's thumbnail, made on a pool thread and handed to the cache on
// the main thread.
class ThumbnailJob : public QRunnable {
public:
    ThumbnailJob(ThumbnailsCache* cache, QUuid id, QString path, QString cachedPath, int edge)
        : m_cache(cache), m_id(id), m_path(std::move(path)), m_cachedPath(std::move(cachedPath)), m_edge(edge)
    {
    }

    void run() override
    {
        const QFileInfo info(m_path);
        QImage image = readImage(m_path, m_edge);
        if (image.isNull())
            image = readCachedThumbnail(m_cachedPath, info, m_edge);
        QString iconName;
        if (image.isNull())
            iconName = QMimeDatabase().mimeTypeForFile(info).iconName();
        // The cache waits for its pool before it goes, so it is still there.
        QMetaObject::invokeMethod(
            m_cache, "deliverResult", Qt::QueuedConnection, Q_ARG(QUuid, m_id), Q_ARG(QImage, image),
            Q_ARG(QString, iconName));
    }

private:
    ThumbnailsCache* m_cache;
    QUuid m_id;
    QString m_path;
    QString m_cachedPath;
    int m_edge;
};

}  // namespace

ThumbnailsCache::ThumbnailsCache(int size, QString thumbnailsDirectory, QObject* parent)
    : QObject(parent), m_size(size), m_thumbnailsDirectory(std::move(thumbnailsDirectory))
{
    if (m_thumbnailsDirectory.isEmpty())
        m_thumbnailsDirectory =
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/thumbnails/normal");
    m_pool.setMaxThreadCount(2);
}

ThumbnailsCache::~ThumbnailsCache()
{
    m_pool.clear();
    m_pool.waitForDone();
}

const ThumbnailsCache::Result& ThumbnailsCache::thumbnail(const FileRow& file)
{
    const auto found = m_cache.constFind(file.id);
    if (found != m_cache.cend())
        return *found;
    generate(file, false);  // the caller reads the entry now
    return m_cache[file.id];
}

void ThumbnailsCache::refresh(const FileRow& file)
{
    const auto found = m_cache.constFind(file.id);
    if (found != m_cache.cend() && found->state == Result::State::loading)
        return;
    generate(file, true);
}

QString ThumbnailsCache::cachedThumbnailPath(const QString& localPath) const
{
    const QByteArray uri = QUrl::fromLocalFile(localPath).toEncoded();
    const QByteArray md5 = QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex();
    return m_thumbnailsDirectory + QLatin1Char('/') + QString::fromLatin1(md5) + QStringLiteral(".png");
}

void ThumbnailsCache::generate(const FileRow& file, bool notify)
{
    const QString path = file.location && file.location->isLocalFile() ? file.location->toLocalFile() : QString();
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        m_cache[file.id] = Result{Result::State::loading, {}};
        const int edge = int(m_size * deviceScale() + 0.5);
        m_pool.start(new ThumbnailJob(this, file.id, path, cachedThumbnailPath(path), edge));
        return;
    }
    const QMimeType type = QMimeDatabase().mimeTypeForFile(file.name, QMimeDatabase::MatchExtension);
    m_cache[file.id] = Result{Result::State::available, iconFor(type.iconName(), type.genericIconName())};
    if (notify)
        emit changed(file.id);
}

void ThumbnailsCache::deliverResult(const QUuid& id, const QImage& image, const QString& iconName)
{
    Result& entry = m_cache[id];
    entry.state = Result::State::available;
    if (!image.isNull()) {
        entry.image = QPixmap::fromImage(image);
        entry.image.setDevicePixelRatio(deviceScale());
    } else {
        entry.image = iconFor(iconName, {});
    }
    emit changed(id);
}

QPixmap ThumbnailsCache::iconFor(const QString& iconName, const QString& genericIconName) const
{
    QIcon icon = QIcon::fromTheme(iconName);
    if (icon.isNull() && !genericIconName.isEmpty())
        icon = QIcon::fromTheme(genericIconName);
    if (icon.isNull())
        icon = QIcon::fromTheme(QString::fromLatin1(kGenericFileIconName));
    return icon.pixmap(m_size, m_size);
}

}  // namespace brenvo
