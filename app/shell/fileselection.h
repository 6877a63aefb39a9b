#pragma once

#include "app/shell/scenecontroller.h"

#include "vortan/filerow.h"

#include <QList>
#include <QUrl>
#include <QUuid>

namespace vortan {
class Controller;
}  // namespace vortan

namespace brenvo {

// "brenvo://file/<id>,<id>,…": a link that selects files in a window.
QUrl fileSelectionUrl(const QList<QUuid>& ids);

// The ids named by the last path component of any URL, in order; pieces
// that are empty or no UUID are skipped.
QList<QUuid> fileIdsFromUrl(const QUrl& url);

// The published rows of the ids that are still known, in the ids' order.
QList<vortan::FileRow> knownFiles(const vortan::Controller& controller, const QList<QUuid>& ids);

// The window in which to select files of `user` that a notification named:
// the only window when there is one; else the first active window that
// shows that user; else none (the caller opens a link instead).
SceneController* windowForFiles(const QList<SceneController*>& windows, const QByteArray& user);

// Shows the files in the window: selects their user (the first file's) and
// the files. Does nothing when none is given.
void selectFilesIn(SceneController& window, const QList<vortan::FileRow>& files);

}  // namespace brenvo
