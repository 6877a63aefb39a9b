#include "app/desktop/filemanager.h"

#include "app/desktop/dbuscall.h"

#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>

namespace brenvo {

namespace {

const QString kPreviewer = QStringLiteral("org.gnome.NautilusPreviewer");

}  // namespace

FileManager::FileManager(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus) {}

QList<QUrl> FileManager::localFiles(const QList<QUrl>& urls)
{
    QList<QUrl> files;
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files.append(url);
    }
    return files;
}

void FileManager::reveal(const QList<QUrl>& urls)
{
    const QList<QUrl> files = localFiles(urls);
    if (files.isEmpty())
        return;
    QStringList uris;
    for (const QUrl& file : files)
        uris.append(QString::fromLatin1(file.toEncoded()));
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
                                       QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    message << uris << QString();
    callAsync(m_bus, message, this, [files](const QDBusPendingCall& call) {
        if (call.isError())
            openFolders(files);
    });
}

void FileManager::preview(const QList<QUrl>& urls)
{
    const QList<QUrl> files = localFiles(urls);
    if (files.isEmpty())
        return;
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    message << kPreviewer;
    callAsync(m_bus, message, this, [this, files](const QDBusPendingCall& call) {
        const QDBusPendingReply<bool> owned = call;
        if (!owned.isError() && owned.value())
            showInPreviewer(files);
        else
            openFiles(files);
    });
}

void FileManager::showInPreviewer(const QList<QUrl>& files)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kPreviewer, QStringLiteral("/org/gnome/NautilusPreviewer"),
                                                          kPreviewer, QStringLiteral("ShowFile"));
    message << QString::fromLatin1(files.first().toEncoded()) << int(0) << false;
    callAsync(m_bus, message, this, [files](const QDBusPendingCall& call) {
        if (call.isError())
            openFiles(files);
    });
}

void FileManager::openFolders(const QList<QUrl>& files)
{
    QList<QUrl> folders;
    for (const QUrl& file : files) {
        const QUrl folder = QUrl::fromLocalFile(QFileInfo(file.toLocalFile()).absolutePath());
        if (!folders.contains(folder))
            folders.append(folder);
    }
    openFiles(folders);
}

void FileManager::openFiles(const QList<QUrl>& files)
{
    for (const QUrl& file : files)
        QDesktopServices::openUrl(file);
}

}  // namespace brenvo
