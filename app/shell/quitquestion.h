#pragma once

#include "vortan/filerow.h"

#include <QList>

#include <functional>

class QWidget;

namespace brenvo {

class Dialogs;

// Closing the last window quits where nothing keeps the program running
// (no panel for its icon, or "Keep running" off). While downloads run, that
// is asked first: "Quit Brenvo? 2 downloads are running and will continue
// at the next start." with Quit and Cancel. Returns whether the window may
// close at once; otherwise the question is open over window, and quit runs
// once Quit is chosen.
bool closeOrAskToQuit(QWidget* window, Dialogs& dialogs, const QList<vortan::FileRow>& rows,
                      std::function<void()> quit);

}  // namespace brenvo
