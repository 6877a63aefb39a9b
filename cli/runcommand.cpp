#include "cli/runcommand.h"

#include "cli/cards.h"
#include "cli/clierror.h"
#include "cli/donecheck.h"
#include "control/heldoffers.h"
#include "control/remotecommands.h"
#include "cli/logrouting.h"
#include "cli/lookup.h"
#include "cli/progress.h"
#include "cli/reasons.h"
#include "cli/session.h"
#include "cli/stopsignals.h"
#include "cli/text.h"
#include "control/controlserver.h"
#include "vortan/controller.h"
#include "vortan/diagnostics.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <sys/ioctl.h>
#include <unistd.h>

namespace brenvo::cli {

using vortan::Controller;
using vortan::FileRow;
using vortan::User;

bool stdoutIsLiveTerminal()
{
    if (!::isatty(STDOUT_FILENO))
        return false;
    const QByteArray term = qgetenv("TERM");
    return !term.isEmpty() && term != "dumb";
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO);
}

int terminalColumns()
{
    struct winsize size = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

ProgressView::Options consoleViewOptions(const Invocation&, std::function<std::int64_t()> nowMs)
{
    return ProgressView::Options{stdoutIsLiveTerminal(),
                                 terminalColumns(),
                                 stderrIsTerminal(),
                                 std::move(nowMs),
                                 [](const QByteArray& b) { writeBytes(STDOUT_FILENO, b); },
                                 [](const QByteArray& b) { writeBytes(STDERR_FILENO, b); }};
}

namespace {

constexpr int kLiveTickMs = 200;
constexpr int kLineTickMs = 1000;
// How long a run that waits only for others to disconnect gives them before
// it closes those connections itself.
constexpr int kDisconnectGraceMs = 2000;
// How often --exit-when-done says what it still waits for.
constexpr int kExplainWaitMs = 20000;

// "a, b, c, d, 12 more"
QString waitingText(const DoneState& state)
{
    QStringList shown = state.waitingFor;
    if (state.waiting > shown.size())
        shown.append(QStringLiteral("%1 more").arg(state.waiting - shown.size()));
    return shown.join(QStringLiteral(", "));
}

class RunCommand : public QObject {
public:
    explicit RunCommand(const Invocation& inv)
        : m_inv(inv),
          m_view(consoleViewOptions(inv, [this] { return m_clock.elapsed(); }))
    {
        m_clock.start();
    }

    int exec();

private:
    void downloadFinished(const FileRow& file)
    {
        m_view.downloadFinished(file);
        if (m_replacing.remove(file.id))
            m_view.event(QStringLiteral("moved the existing %1 to the Trash").arg(printable(file.name)));
        scheduleCheck();
    }

    void filesReceived(const QList<FileRow>& files, const User& user)
    {
        m_view.filesReceived(files, user);
        // Not from inside the controller's list handling.
        QList<QUuid> ids;
        ids.reserve(files.size());
        for (const FileRow& file : files)
            ids.append(file.id);
        QTimer::singleShot(0, this, [this, ids = std::move(ids)] { resumeAccepted(&ids); });
    }

    Controller& controller() { return m_session->controller(); }
    void resolveUsers();
    // Takes the new offers of accepted users: those of `only` when given
    // (a list just received), else all.
    void resumeAccepted(const QList<QUuid>* only = nullptr);
    void scheduleCheck();
    void check();
    // The downloads among these changed rows (nullptr: all rows) whose
    // target exists already.
    void noteReplacedTargets(const vortan::FileChanges* changes);
    DoneState evaluate();
    void listenerChanged();
    void closeDelivered();
    void finish(int status, const QString& message);
    void interrupted(int signalNumber);
    void userChanged(const QByteArray& key);
    void explainWait();

    const Invocation& m_inv;
    QElapsedTimer m_clock;
    ProgressView m_view;
    RunTally m_tally;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<brenvo::control::ControlServer> m_control;
    QEventLoop m_loop;
    QTimer m_tick;
    QTimer m_checkSoon;
    // The check is a pass over every row: with hundreds of thousands, the
    // next one waits kCheckShare times as long as the last took.
    static constexpr int kCheckShare = 20;
    qint64 m_lastCheckNs = 0;
    QTimer m_checkPeriodic;
    QTimer m_timeout;
    QTimer m_disconnectGrace;

    std::optional<vortan::DownloadLocation> m_location;
    QList<QByteArray> m_connectKeys;
    QSet<QByteArray> m_acceptKeys;
    bool m_acceptAll = false;
    QSet<QUuid> m_resumed;
    QSet<QUuid> m_reportedRemoved;
    // Running downloads whose place already holds a file (it goes to the
    // Trash when they finish), and those whose place has been looked at.
    QSet<QUuid> m_replacing;
    QSet<QUuid> m_targetChecked;
    bool m_finished = false;
    int m_status = kExitSuccess;
    QString m_lastListenerState;
    QHash<QByteArray, QString> m_lastErrors;  // the last failure to reach each user
    QHash<QByteArray, vortan::ConnectFailure> m_shownFailures;
    QSet<QByteArray> m_noDirectShown;  // told that the user stays on Tor
    QTimer m_explain;
};

int RunCommand::exec()
{
    if (!m_inv.downloadTo.isEmpty()) {
        const QString directory = QDir(m_inv.downloadTo).absolutePath();
        if (!QDir().mkpath(directory) || !QFileInfo(directory).isDir())
            throw failure(QStringLiteral("cannot use %1 as the download directory").arg(printable(m_inv.downloadTo)));
        m_location = vortan::DownloadLocation::directory(QUrl::fromLocalFile(directory));
    }

    // Diagnostic lines pass the bars (unless they go to a file).
    const ScopedTerminalWriter diagnostics([this](const QString& line) { m_view.diagnostic(line); });

    m_session = std::make_unique<Session>(m_inv.global, Session::Kind::transfers, !m_inv.noUpnp, [this](Controller& c) {
        QObject::connect(&c, &Controller::downloadFinished, this, &RunCommand::downloadFinished);
        QObject::connect(&c, &Controller::filesReceived, this, &RunCommand::filesReceived);
    });
    Session::Tor tor;
    tor.on = !m_inv.noTor && (!m_inv.torControl.isEmpty() || Controller::torInstalled());
    tor.direct = !m_inv.noDirect;
    tor.controlSocket = m_inv.torControl.isEmpty() ? QString() : QFileInfo(m_inv.torControl).absoluteFilePath();
    if (!m_inv.torTorrc.isEmpty()) {
        QFile file(m_inv.torTorrc);
        if (!file.open(QIODevice::ReadOnly) || file.size() > 1024 * 1024)
            throw failure(QStringLiteral("cannot read %1: %2").arg(printable(m_inv.torTorrc), file.errorString()));
        tor.extraTorrc = QString::fromUtf8(file.readAll());
    }
    if (!m_inv.noTor && !tor.on)
        m_view.event(QStringLiteral("tor is not installed: people are reached only directly"));
    m_session->setTor(std::move(tor));
    m_session->start(!m_inv.noListen, m_inv.mapPort, !m_inv.noAutoConnect);
    follow(m_tally, controller(), this);
    resolveUsers();

    // One-shot commands started meanwhile are carried out here.
    m_control = std::make_unique<brenvo::control::ControlServer>(m_session->supportDirectory());
    if (const auto listened = m_control->listen(); listened.status == brenvo::control::ControlServer::ListenStatus::Listening) {
        control::RemoteCommands::serve(*m_control, controller());
    } else {
        writeErr(QStringLiteral("brenvo-cli: warning: other brenvo-cli commands cannot reach this run: %1\n")
                     .arg(listened.status == brenvo::control::ControlServer::ListenStatus::AlreadyRunning
                              ? QStringLiteral("another program answers on its control socket")
                              : printable(listened.error)));
        m_control.reset();
    }

    Controller& c = controller();
    m_view.setRowSource([this]() -> const QList<FileRow>& { return controller().fileRows(); });
    m_view.setBaseline(c.fileRows());
    noteReplacedTargets(nullptr);
    m_view.update(c.fileRows(), c.users());

    QObject::connect(&c, &Controller::filesChanged, this, [this](const vortan::FileChanges& changes) {
        Controller& c = controller();
        noteReplacedTargets(&changes);
        m_view.update(c.fileRows(), c.users(), changes, [&c](const QUuid& id) { return c.fileRow(id); });
        scheduleCheck();
    });
    QObject::connect(&c, &Controller::usersChanged, this, [this] { scheduleCheck(); });
    QObject::connect(&c, &Controller::userChanged, this, [this](const QByteArray& key) { userChanged(key); });
    QObject::connect(&c, &Controller::peerReady, this, [this](const QByteArray& key) {
        const vortan::User* user = nullptr;
        for (const vortan::User& u : controller().users()) {
            if (u.key == key)
                user = &u;
        }
        m_view.event(QStringLiteral("connected %1%2").arg(userLabel(controller().users(), key),
                                                          user && user->throughTor ? QStringLiteral(" through Tor")
                                                                                   : QStringLiteral(" directly")));
        scheduleCheck();
    });
    QObject::connect(&c, &Controller::peerDisconnected, this, [this](const QByteArray& key) {
        m_view.event(QStringLiteral("disconnected %1").arg(userLabel(controller().users(), key)));
        scheduleCheck();
    });
    QObject::connect(&c, &Controller::strangerRefused, this, [this](const QByteArray& key) {
        m_view.event(QStringLiteral("refused a call from someone who is not among your users (key %1)").arg(fingerprint(key)));
    });
    QObject::connect(&c, &Controller::listReceived, this, [this](const QByteArray&) { scheduleCheck(); });
    QObject::connect(&c, &Controller::offerSent, this, [this](const QUuid& id) {
        if (const std::optional<FileRow> file = controller().file(id))
            m_view.offerSent(*file);
        scheduleCheck();
    });
    QObject::connect(&c, &Controller::listenerStateChanged, this, [this] { listenerChanged(); });
    listenerChanged();

    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, this, [this](int number) { interrupted(number); });

    m_tick.setInterval(m_view.live() ? kLiveTickMs : kLineTickMs);
    QObject::connect(&m_tick, &QTimer::timeout, this, [this] {
        if (m_view.live())
            m_view.setColumns(terminalColumns());
        m_view.tick();
    });
    m_tick.start();

    m_checkSoon.setSingleShot(true);
    m_checkSoon.setInterval(0);
    QObject::connect(&m_checkSoon, &QTimer::timeout, this, [this] { check(); });
    // A safety net for changes that come without a report (a file removed).
    m_checkPeriodic.setInterval(1000);
    QObject::connect(&m_checkPeriodic, &QTimer::timeout, this, [this] { check(); });
    if (m_inv.exitWhenDone)
        m_checkPeriodic.start();
    m_disconnectGrace.setSingleShot(true);
    QObject::connect(&m_disconnectGrace, &QTimer::timeout, this, [this] { closeDelivered(); });

    if (m_inv.timeoutSeconds) {
        m_timeout.setSingleShot(true);
        m_timeout.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timeout, &QTimer::timeout, this, [this] {
            QString message = QStringLiteral("timed out after %1 s").arg(*m_inv.timeoutSeconds);
            if (m_inv.exitWhenDone) {
                const DoneState state = evaluate();
                if (state.waiting > 0)
                    message += QStringLiteral(" waiting for ") + waitingText(state);
            }
            finish(kExitFailure, message);
        });
        m_timeout.start(int(std::min(*m_inv.timeoutSeconds * 1000.0, 2.0e9)));
    }

    // Calls the users named with --connect (and again after failures), as
    // automatic connection does for users with work.
    for (const User& user : c.users())
        userChanged(user.key);
    c.setKeptConnected(m_connectKeys);
    if (m_inv.exitWhenDone) {
        m_explain.setInterval(kExplainWaitMs);
        QObject::connect(&m_explain, &QTimer::timeout, this, [this] { explainWait(); });
        m_explain.start();
    }
    resumeAccepted();
    scheduleCheck();

    if (!m_finished)
        m_loop.exec();

    m_tick.stop();
    m_checkSoon.stop();
    m_checkPeriodic.stop();
    m_timeout.stop();
    m_disconnectGrace.stop();
    m_explain.stop();
    m_control.reset();
    m_view.setRowSource({});
    m_session.reset();  // closes the connections and lets their reports arrive
    return m_status;
}

void RunCommand::resolveUsers()
{
    const QList<User>& users = controller().users();
    for (const QString& query : m_inv.connect) {
        const QByteArray key = findUserKey(users, query);
        if (m_connectKeys.contains(key))
            continue;
        m_connectKeys.append(key);

    }
    for (const QString& query : m_inv.accept) {
        if (query == QLatin1String("all"))
            m_acceptAll = true;
        else
            m_acceptKeys.insert(findUserKey(users, query));
    }
}

void RunCommand::resumeAccepted(const QList<QUuid>* only)
{
    if (m_finished || (!m_acceptAll && m_acceptKeys.isEmpty()))
        return;
    QList<vortan::ResumeItem> items;
    const QSet<QUuid> held = control::readHeldOffers(controller().supportDirectory());
    const QList<FileRow>& rows = controller().fileRows();
    const qsizetype count = only ? only->size() : rows.size();
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype row = only ? controller().fileRow((*only)[i]) : i;
        if (row < 0)
            continue;
        const FileRow& file = rows[row];
        if (!file.download || !file.paused || (file.status == vortan::FileRow::Status::done) || m_resumed.contains(file.id))
            continue;
        // Only new offers: a download that has a place or blocks was resumed
        // once, so its pause is someone's decision.
        if (file.location || file.blockCount > 0 || held.contains(file.id))
            continue;
        if (!m_acceptAll && !m_acceptKeys.contains(file.user))
            continue;
        m_resumed.insert(file.id);
        items.append(vortan::ResumeItem{file.id, m_location});
    }
    if (!items.isEmpty()) {
        controller().resume(items);
        // An empty file may be done before the next publication.
        controller().publishNow();
    }
}

void RunCommand::noteReplacedTargets(const vortan::FileChanges* changes)
{
    // A download gets its target when it is taken: a change of its row.
    const QList<FileRow>& rows = controller().fileRows();
    const auto note = [&](const QUuid& id) {
        const qsizetype row = controller().fileRow(id);
        if (row < 0 || m_targetChecked.contains(id))
            return;
        const FileRow& file = rows[row];
        if (!file.download || !file.location || file.status == FileRow::Status::done)
            return;
        m_targetChecked.insert(id);
        if (QFileInfo::exists(file.location->toLocalFile()))
            m_replacing.insert(id);
    };
    if (!changes) {
        for (const FileRow& file : rows)
            note(file.id);
        return;
    }
    for (const auto& inserted : changes->inserted)
        note(inserted.second);
    for (const QUuid& id : changes->updated)
        note(id);
}

void RunCommand::scheduleCheck()
{
    if (!m_finished && m_inv.exitWhenDone && !m_checkSoon.isActive())
        m_checkSoon.start(int(std::min<qint64>(m_lastCheckNs * kCheckShare / 1000000, 1000)));
}

void RunCommand::check()
{
    if (m_finished || !m_inv.exitWhenDone)
        return;
    QElapsedTimer took;
    took.start();
    const DoneState state = evaluate();
    m_lastCheckNs = took.nsecsElapsed();
    for (const QUuid& id : state.removedOffers) {
        const std::optional<FileRow> file = controller().file(id);
        if (!file || m_reportedRemoved.contains(id))
            continue;
        m_reportedRemoved.insert(id);
        m_view.event(QStringLiteral("%1 removed %2").arg(userLabel(controller().users(), file->user), printable(file->name)));
    }
    if (state.kind == DoneState::Kind::done) {
        finish(kExitSuccess, QStringLiteral("All transfers done."));
    } else if (state.kind == DoneState::Kind::failed) {
        finish(kExitFailure, state.failure);
    } else if (state.onlyDisconnects) {
        if (!m_disconnectGrace.isActive())
            m_disconnectGrace.start(kDisconnectGraceMs);
    } else {
        m_disconnectGrace.stop();
    }
}

void RunCommand::closeDelivered()
{
    const DoneState state = evaluate();
    if (m_finished || state.kind != DoneState::Kind::pending || !state.onlyDisconnects)
        return;
    // Everything has been handed over; leaving is what the others wait for too.
    controller().setConnectAutomatically(false);
    controller().setKeptConnected({});
    for (const QByteArray& key : state.awaitedDisconnects) {
        m_view.event(QStringLiteral("closing the connection to %1: everything is sent").arg(userLabel(controller().users(), key)));
        controller().disconnectFrom(key);
    }
}

DoneState RunCommand::evaluate()
{
    Controller& c = controller();
    DoneInputs inputs;
    inputs.files = c.fileRows();
    inputs.users = c.users();
    inputs.connectUsers = QSet<QByteArray>(m_connectKeys.cbegin(), m_connectKeys.cend());
    inputs.acceptUsers = m_acceptKeys;
    inputs.acceptAll = m_acceptAll;
    inputs.heldOffers = control::readHeldOffers(c.supportDirectory());
    inputs.runStatus = [this](const QByteArray& key) { return m_tally.status(key); };
    inputs.offerDelivered = [this](const FileRow& f) { return m_tally.offerDelivered(f); };
    inputs.lastError = [this](const QByteArray& key) { return m_lastErrors.value(key); };
    inputs.targetPresent = [](const FileRow& f) { return f.location && QFileInfo::exists(f.location->toLocalFile()); };
    inputs.offersHeldBack = [&c](const QByteArray& key) { return c.offersHeldBack(key); };
    return evaluateDone(inputs);
}

void RunCommand::userChanged(const QByteArray& key)
{
    const std::optional<User> user = controller().user(key);
    if (user && user->noDirectPath && !m_noDirectShown.contains(key)) {
        m_noDirectShown.insert(key);
        m_view.event(QStringLiteral("%1 stays connected through Tor: no direct path worked")
                         .arg(userLabel(controller().users(), key)));
    } else if (!user || !user->noDirectPath) {
        m_noDirectShown.remove(key);
    }
    if (!user || !user->failure) {
        m_shownFailures.remove(key);
        return;
    }
    const auto shown = m_shownFailures.constFind(key);
    if (shown != m_shownFailures.cend() && *shown == *user->failure)
        return;
    m_shownFailures.insert(key, *user->failure);
    vortan::ConnectFailure lasting = *user->failure;
    lasting.retryAt.reset();
    m_lastErrors.insert(key, failureText(user->name, lasting, QDateTime::currentDateTimeUtc()));
    m_view.event(failureText(user->name, *user->failure, QDateTime::currentDateTimeUtc()));
}

void RunCommand::explainWait()
{
    if (m_finished)
        return;
    const DoneState state = evaluate();
    if (state.kind != DoneState::Kind::pending)
        return;
    m_view.event(QStringLiteral("waiting for ") + waitingText(state));
}

void RunCommand::listenerChanged()
{
    const vortan::ListenerState& state = controller().listenerState();
    const std::optional<std::uint16_t> port = controller().me() ? controller().me()->port : std::nullopt;
    QString text;
    if (state.kind() == vortan::ListenerState::Kind::ready) {
        text = port ? QStringLiteral("listening on port %1").arg(*port) : QStringLiteral("listening");
    } else if (state.error()) {
        // Nobody could reach this run: better to say so at once than to wait.
        const QString why = listenFailureText(port, *state.error());
        QTimer::singleShot(0, this, [this, why] { finish(kExitFailure, why); });
        return;
    }
    if (!text.isEmpty() && text != m_lastListenerState)
        m_view.event(text);
    m_lastListenerState = text;
}

void RunCommand::interrupted(int signalNumber)
{
    finish(128 + signalNumber, QString());
    controller().publishNow();
    // The state is saved: say what is left for the next run.
    for (const FileRow& file : controller().fileRows()) {
        if (file.paused || file.status == FileRow::Status::done || !file.inProgress())
            continue;
        const int percent = int(file.fraction() * 100.0);
        writeOut(file.download ? QStringLiteral("%1 %2 % kept; run again to resume\n").arg(printable(file.name)).arg(percent)
                               : QStringLiteral("%1 to %2 %3 % sent; run again to resume\n")
                                     .arg(printable(file.name), userLabel(controller().users(), file.user))
                                     .arg(percent));
    }
}

void RunCommand::finish(int status, const QString& message)
{
    if (m_finished)
        return;
    m_finished = true;
    m_status = status;
    m_view.finish();
    if (m_session) {
        controller().setConnectAutomatically(false);
        controller().setKeptConnected({});
    }
    if (!message.isEmpty()) {
        if (status == kExitSuccess)
            writeOut(message + QLatin1Char('\n'));
        else
            writeErr(QStringLiteral("brenvo-cli: ") + message + QLatin1Char('\n'));
    }
    if (m_session)
        m_session->stop();
    m_loop.quit();
}

}  // namespace

int runRunCommand(const Invocation& invocation)
{
    RunCommand command(invocation);
    return command.exec();
}

}  // namespace brenvo::cli
