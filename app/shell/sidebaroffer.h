#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

class QWidget;

namespace vortan {
class Controller;
}  // namespace vortan

namespace brenvo {

class Dialogs;

// Offers files and folders dropped on a person's row to that person alone,
// in one batch, through the file list's own steps: they are described on a
// worker thread (a folder as its files), those that cannot be are reported
// in one alert over window, the rest are shared. Returns at once; nothing
// happens once window is gone.
void offerFilesToUser(QWidget* window, vortan::Controller& controller, Dialogs& dialogs, const QList<QUrl>& urls,
                      const QByteArray& key);

}  // namespace brenvo
