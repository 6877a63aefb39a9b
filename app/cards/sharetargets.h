#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace brenvo {

class Dialogs;

// Hands a card file written in the cards directory to a desktop service:
// the mail composer, the clipboard, or a paired device. Errors come back as
// a description for the "Failed to export file." alert.
using ShareFailure = std::function<void(const QString& description)>;

// Opens the mail composer (xdg-email) with the file attached.
void shareByEmail(const QString& path, const ShareFailure& failed);

// Puts the file on the clipboard both as its file URL and as its bytes.
void copyCardToClipboard(const QString& path, const QByteArray& bytes);

// Sends the file with KDE Connect: lists the available devices without
// waiting on them, sends to the only one or lets the user pick one (through
// Dialogs, over window).
class DeviceShare : public QObject {
    Q_OBJECT
public:
    // Starts at once; deletes itself when done.
    static void start(const QString& path, QWidget* window, Dialogs& dialogs, ShareFailure failed);

private:
    DeviceShare(QString path, QWidget* window, Dialogs& dialogs, ShareFailure failed);
    void listed(const QByteArray& output);
    void send(const QString& deviceId);
    void fail(const QString& description);

    QString m_path;
    QWidget* m_window;
    Dialogs& m_dialogs;
    ShareFailure m_failed;
    bool m_done = false;
};

}  // namespace brenvo
