#include "app/files/thumbnailscache.h"

#include <QIcon>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using vortan::FileRow;

using namespace brenvo;

namespace {

using State = ThumbnailsCache::Result::State;

FileRow fileAt(const QString& name, const std::optional<QString>& path)
{
    FileRow row;
    row.id = QUuid::createUuid();
    row.name = name;
    if (path)
        row.location = QUrl::fromLocalFile(*path);
    return row;
}

TEST(ThumbnailsCacheTest, ImagesOffTheMainThreadOtherFilesByTheirType)
{
    // As the program does without a desktop theme (offscreen has no search path).
    QIcon::setThemeSearchPaths(QIcon::themeSearchPaths() << "/usr/share/icons");
    QIcon::setThemeName("breeze");
    QTemporaryDir dir;
    QTemporaryDir cacheDir;
    ThumbnailsCache cache(48, cacheDir.path());
    QSignalSpy changed(&cache, &ThumbnailsCache::changed);

    // Not here yet: the icon of its type at once.
    const FileRow remote = fileAt("song.mp3", std::nullopt);
    EXPECT_EQ(cache.thumbnail(remote).state, State::available);
    EXPECT_FALSE(cache.thumbnail(remote).image.isNull());

    // An image: loading, then scaled to fit 48 × 48 without changing shape.
    const QString photo = dir.filePath("photo.png");
    QImage big(960, 480, QImage::Format_RGB32);
    big.fill(Qt::blue);
    ASSERT_TRUE(big.save(photo));
    const FileRow image = fileAt("photo.png", photo);
    EXPECT_EQ(cache.thumbnail(image).state, State::loading);
    cache.refresh(image);  // nothing while loading
    ASSERT_TRUE(changed.wait(10000) || changed.size() > 1);
    EXPECT_EQ(changed.last().first().toUuid(), image.id);
    const ThumbnailsCache::Result& result = cache.thumbnail(image);
    ASSERT_EQ(result.state, State::available);
    EXPECT_EQ(result.image.deviceIndependentSize().toSize(), QSize(48, 24));

    // Another file: the freedesktop cache's thumbnail when there is one.
    const QString text = dir.filePath("notes.txt");
    QFile(text).open(QIODevice::WriteOnly);
    QImage cached(32, 32, QImage::Format_RGB32);
    cached.fill(Qt::red);
    ASSERT_TRUE(cached.save(cache.cachedThumbnailPath(text)));
    const FileRow notes = fileAt("notes.txt", text);
    changed.clear();
    EXPECT_EQ(cache.thumbnail(notes).state, State::loading);
    ASSERT_TRUE(changed.wait(10000));
    EXPECT_EQ(cache.thumbnail(notes).image.toImage().pixelColor(16, 16), QColor(Qt::red));

    // The cache is keyed by the file's URI.
    EXPECT_TRUE(
        cache.cachedThumbnailPath("/home/jens/photos/me.png").endsWith("/c6ee772d9e49320e97ec29a7eb5b1697.png"));
}

}  // namespace
