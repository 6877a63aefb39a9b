#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QUrl>

namespace brenvo {

// Shows files to the person: revealed and selected in the file manager, or
// previewed. Both return at once; what the desktop lacks is replaced by the
// default application for the file or folder.
class FileManager : public QObject {
    Q_OBJECT
public:
    explicit FileManager(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // Selects these local files in a file manager window: one
    // org.freedesktop.FileManager1.ShowItems call with all of them; when
    // that fails, opens each containing folder once. URLs that are not local
    // files are left out.
    void reveal(const QList<QUrl>& files);
    // The GNOME previewer on the first local file when it is on the bus (it
    // shows one at a time); otherwise each file in its default application.
    void preview(const QList<QUrl>& files);

private:
    static QList<QUrl> localFiles(const QList<QUrl>& urls);
    static void openFolders(const QList<QUrl>& files);
    static void openFiles(const QList<QUrl>& files);
    void showInPreviewer(const QList<QUrl>& files);

    QDBusConnection m_bus;
};

}  // namespace brenvo
