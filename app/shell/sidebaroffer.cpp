#include "app/shell/sidebaroffer.h"

#include "app/cards/cardactions.h"
#include "app/files/fileoffer.h"
#include "vortan/controller.h"

using vortan::Controller;

namespace brenvo {

void offerFilesToUser(QWidget* window, Controller& controller, Dialogs& dialogs, const QList<QUrl>& urls,
                      const QByteArray& key)
{
    const QList<QUrl> files = droppedFiles(urls);
    if (files.isEmpty())
        return;
    // Folders are read on a worker thread; the answer comes back while the
    // window lives (the controller and the dialogs outlive it).
    describeFilesInBackground(files, window, [window, &controller, &dialogs, key](OfferedFiles offered) {
        auto share = [&controller, key, described = std::move(offered.files)] {
            if (!described.isEmpty() && controller.user(key))
                controller.shareFiles(described, {key});
        };
        const std::optional<FailureAlert> alert = failureAlert(offered.failures);
        if (alert)
            showAlert(dialogs, window, alert->text, alert->informativeText, std::move(share));
        else
            share();
    });
}

}  // namespace brenvo
