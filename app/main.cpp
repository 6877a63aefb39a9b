// brenvo: the desktop program.
#include "app/dialogs/dialogs.h"
#include "app/shell/appdelegate.h"
#include "app/shell/appoptions.h"
#include "app/shell/icons.h"
#include "app/shell/journal.h"
#include "app/shell/stopsignals.h"
#include "app/shell/translations.h"

#include "control/controlclient.h"
#include "control/controlserver.h"
#include "control/remotecommands.h"

#include "vortan/diagnostics.h"

#include <QApplication>

#include <cstdio>

using vortan::StartError;
using vortan::setDebugDiagnostics;

using namespace brenvo;

namespace {

// Hands the links and cards to the instance that already runs for this
// support directory. Returns the exit status.
int handOver(const QString& supportDirectory, const AppOptions& options)
{
    const brenvo::control::ClientResult result = brenvo::control::ControlClient(supportDirectory)
                                                      .send(brenvo::control::OpenRequest{options.urls, options.cards});
    const auto* refused = std::get_if<brenvo::control::ErrorAnswer>(&result.answer);
    if (result.status == brenvo::control::ClientResult::Status::Answered && !refused)
        return 0;
    const QString why = result.status == brenvo::control::ClientResult::Status::Answered ? refused->detail : result.error;
    std::fprintf(stderr, "brenvo: Brenvo is already running, but could not be reached: %s\n", qUtf8Printable(why));
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    blockStopSignals();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brenvo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Brenvo"));
    QApplication::setApplicationVersion(QStringLiteral(BRENVO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("com.halvinor.brenvo"));
    installTranslations(app);

    const auto parsed = parseAppArguments(QApplication::arguments());
    if (const auto* usage = std::get_if<AppUsage>(&parsed)) {
        std::fputs(qUtf8Printable(usage->text), usage->status == 0 ? stdout : stderr);
        return usage->status;
    }
    AppOptions options = std::get<AppOptions>(parsed);
    setDebugDiagnostics(options.verbose);
    logToJournalUnlessTerminal();
    // Tests run the program where no gateway may be asked.
    if (qEnvironmentVariableIsSet("BRENVO_NO_GATEWAY"))
        options.useGateway = false;

    chooseIconTheme();
    QApplication::setWindowIcon(applicationIcon());

    AppDelegate delegate(options);
    brenvo::control::ControlServer control(delegate.supportDirectory());
    const brenvo::control::ControlServer::ListenResult listening = control.listen();
    if (listening.status == brenvo::control::ControlServer::ListenStatus::AlreadyRunning)
        return handOver(delegate.supportDirectory(), options);
    if (listening.status == brenvo::control::ControlServer::ListenStatus::Failed)
        qWarning("brenvo: a second launch will not reach this one: %s", qUtf8Printable(listening.error));

    // SIGINT and SIGTERM end the program from here on, also while the
    // start failure is shown.
    StopSignals stopSignals;
    if (const std::optional<StartError> error = delegate.start()) {
        std::fprintf(stderr, "brenvo: %s\n", qUtf8Printable(error->message()));
        // The alert closes, and the program ends, when it is answered or
        // stopped (its one button is also its escape).
        QApplication::setQuitOnLastWindowClosed(false);
        delegate.dialogs().tell(nullptr,
                                Alert{Alert::Kind::critical,
                                      QCoreApplication::translate("Main", "Brenvo cannot start"),
                                      error->message(), {}, {}},
                                [] { QCoreApplication::quit(); });
        QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, [] {
            QApplication::closeAllWindows();
            QCoreApplication::quit();
        });
        app.exec();
        return 1;
    }

    // brenvo-cli's one-shot commands are carried out here while we own the
    // support directory.
    if (listening.status == brenvo::control::ControlServer::ListenStatus::Listening)
        brenvo::control::RemoteCommands::serve(control, delegate.controller());
    QObject::connect(&control, &brenvo::control::ControlServer::openRequested, &delegate,
                     [&delegate](const brenvo::control::OpenRequest& request) {
                         // In the background: the windows as they were closed come back.
                         if (!delegate.windowShown())
                             delegate.showWindow();
                         delegate.open(request.urls, request.cards);
                     });
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &delegate, [&delegate] { delegate.quit(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, [&delegate] { delegate.stop(); });
    // The session is ending: keep the state even if the process is killed next.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &delegate, [&delegate] { delegate.controller().save(); });

    // --background: the status icon only (Background opens a window where no panel shows it).
    if (!options.background)
        delegate.restoreWindows();
    if (!options.urls.isEmpty() || !options.cards.isEmpty())
        delegate.open(options.urls, options.cards);
    return app.exec();
}
