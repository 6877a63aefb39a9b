#include "app/shell/quitquestion.h"

#include "app/dialogs/dialogs.h"
#include "app/shell/statusicontext.h"

#include <QCoreApplication>

namespace brenvo {

bool closeOrAskToQuit(QWidget* window, Dialogs& dialogs, const QList<vortan::FileRow>& rows,
                      std::function<void()> quit)
{
    const qsizetype running = runningDownloads(rows);
    if (running == 0)
        return true;
    // One spelled out: without a catalogue (English) a %n plural reads "1 downloads are".
    const QString informative =
        running == 1 ? QCoreApplication::translate("QuitQuestion",
                                                   "1 download is running and will continue at the next start.")
                     : QCoreApplication::translate("QuitQuestion",
                                                   "%Ln downloads are running and will continue at the next start.",
                                                   nullptr, int(running));
    Question question{{Alert::Kind::warning, {}, QCoreApplication::translate("QuitQuestion", "Quit Brenvo?"),
                       informative, {}},
                      {AlertButton{AlertButton::Role::accept, QCoreApplication::translate("QuitQuestion", "Quit")},
                       AlertButton{AlertButton::Role::cancel, {}}},
                      0};
    dialogs.ask(window, question, [quit = std::move(quit)](int button) {
        if (button == 0 && quit)
            quit();
    });
    return false;
}

}  // namespace brenvo
