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

// Offers files dropped on a person's row to that person alone, through the
// file list's own steps: folders are skipped, the files that cannot be
// described are reported in one alert over window, the rest are shared.
void offerFilesToUser(QWidget* window, vortan::Controller& controller, Dialogs& dialogs, const QList<QUrl>& urls,
                      const QByteArray& key);

}  // namespace brenvo
