#include "app/update/updatercontroller.h"

#include "app/settings/appsettings.h"
#include "app/update/anchors.h"
#include "app/update/httpstatustext.h"
#include "app/update/suitability.h"
#include "app/update/updates.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressDialog>
#include <QSslConfiguration>

#include <cstdio>
#include <memory>
#include <utility>

namespace brenvo {
namespace {

Q_LOGGING_CATEGORY(lcUpdate, "brenvo.update")

// Control characters of a server's text are shown as \xNN, so that a line
// on a terminal is only ever text.
QString printable(const QString& line)
{
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            out += QStringLiteral("\\x") + QString::number(u, 16).toUpper().rightJustified(2, u'0');
        else
            out += c;
    }
    return out;
}

}  // namespace

// One request for the list: what has arrived so far.
struct UpdaterController::Fetch {
    bool automatic = false;
    bool cancelled = false;  // by the person: nothing more is said
    QByteArray body;
    bool tooLarge = false;
};

UpdaterController::UpdaterController(UpdaterConfig config, AppSettings& settings, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_settings(settings), m_dialogs(dialogs)
{
}

UpdaterController::~UpdaterController()
{
    delete m_progress.data();
    // A request still under way ends here, without reaching complete().
    if (m_network) {
        for (QNetworkReply* reply : m_network->findChildren<QNetworkReply*>())
            reply->disconnect(this);
        delete m_network;
    }
}

void UpdaterController::check(bool automatic, QWidget* window)
{
    if (!automatic) {
        if (m_progress) {
            m_progress->raise();
            m_progress->activateWindow();
            return;
        }
        m_window = window;
        m_alertWindow = window;
        fetch(false);
        return;
    }
    m_alertWindow = nullptr;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const std::optional<QDateTime> last = m_settings.lastUpdateCheck();
    if (!last) {
        // The first check after installation only starts the clock.
        m_settings.lastUpdateCheck.set(now);
        emit checkFinished(true);
        return;
    }
    // A date in the future (the clock was wrong then) does not hold off
    // checks until that day comes.
    const qint64 elapsed = last->secsTo(now);
    if (elapsed >= 0 && elapsed < kCheckInterval.count()) {
        emit checkFinished(true);
        return;
    }
    fetch(true);
}

void UpdaterController::fetch(bool automatic)
{
    if (m_config.url.scheme() != u"https" || !m_config.url.isValid()) {
        fail(automatic, tr("The address of the update server is not an https:// address."));
        emit checkFinished(automatic);
        return;
    }
    if (!m_anchorsLoaded) {
        m_anchors = loadAnchors(m_config.anchorDirectory);
        m_anchorsLoaded = true;
    }
    if (m_anchors.isEmpty()) {
        fail(automatic, tr("No trusted root certificates were found in %1.").arg(m_config.anchorDirectory));
        emit checkFinished(automatic);
        return;
    }
    if (!m_network)
        m_network = new QNetworkAccessManager(this);

    QNetworkRequest request(m_config.url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setTransferTimeout(int(std::chrono::milliseconds(automatic ? kAutomaticTimeout : kManualTimeout).count()));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    tls.setCaCertificates(m_anchors);  // also stops Qt from consulting the system's roots
    request.setSslConfiguration(tls);

    QNetworkReply* reply = m_network->get(request);
    reply->setReadBufferSize(64 * 1024);
    auto state = std::make_shared<Fetch>();
    state->automatic = automatic;
    auto refuse = [reply, state] {
        state->tooLarge = true;
        state->body.clear();
        reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, refuse] {
        bool known = false;
        const qlonglong length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && length > kMaxUpdatesListSize)
            refuse();
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply, state, refuse] {
        if (state->tooLarge)
            return;
        state->body += reply->read(kMaxUpdatesListSize + 1 - state->body.size());
        if (state->body.size() > kMaxUpdatesListSize)
            refuse();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, state] { complete(reply, *state); });
    if (!automatic) {
        showProgress(reply);
        connect(m_progress.data(), &QProgressDialog::canceled, reply, [reply, state] {
            state->cancelled = true;
            reply->abort();
        });
    }
    emit fetchStarted(request);
}

void UpdaterController::showProgress(QNetworkReply* reply)
{
    // Not exec(): the answer arrives through this same event loop.
    auto* progress = new QProgressDialog(tr("Checking for Updates…"), tr("Cancel"), 0, 0, m_window);
    progress->setObjectName(QStringLiteral("updateProgress"));
    progress->setWindowTitle(tr("Check for Updates"));
    progress->setAccessibleName(tr("Checking for Updates…"));
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    progress->setWindowModality(m_window ? Qt::WindowModal : Qt::ApplicationModal);
    // The dialog goes with the request, whichever ends first.
    connect(reply, &QObject::destroyed, progress, &QWidget::close);
    m_progress = progress;
    progress->show();
    emit progressOpened(progress);
}

void UpdaterController::complete(QNetworkReply* reply, const Fetch& fetch)
{
    reply->deleteLater();
    const bool automatic = fetch.automatic;
    m_alertWindow = automatic ? nullptr : m_window.data();
    if (!automatic && m_progress) {
        QProgressDialog* progress = std::exchange(m_progress, nullptr);
        progress->disconnect(reply);
        progress->close();
    }
    if (fetch.cancelled) {
        emit checkFinished(automatic);
        return;
    }
    QByteArray body = fetch.body;
    bool tooLarge = fetch.tooLarge;
    if (!tooLarge && reply->isReadable()) {
        body += reply->read(kMaxUpdatesListSize + 1 - body.size());
        tooLarge = body.size() > kMaxUpdatesListSize;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        // No HTTP response at all: a network or TLS failure.
        if (reply->error() != QNetworkReply::NoError)
            fail(automatic, reply->errorString());
    } else if (const int code = status.toInt(); code != 200) {
        fail(automatic, httpStatusText(code));
    } else if (tooLarge) {
        m_settings.lastUpdateCheck.set(QDateTime::currentDateTimeUtc());
        fail(automatic, updatesTooLargeError());
    } else if (reply->error() != QNetworkReply::NoError) {
        // The answer broke off (or timed out) after its status line.
        fail(automatic, reply->errorString());
    } else {
        m_settings.lastUpdateCheck.set(QDateTime::currentDateTimeUtc());
        handleList(body, automatic);
    }
    emit checkFinished(automatic);
}

void UpdaterController::handleList(const QByteArray& body, bool automatic)
{
    const UpdatesDecoding decoded = decodeUpdates(body);
    if (!decoded.ok()) {
        fail(automatic, decoded.error);
        return;
    }
    const RunningRelease running{m_config.buildNumber, m_config.osVersion, m_config.url.host()};
    const std::optional<Offer> offer =
        firstSuitable(decoded.updates, running, [this](const QString& line) { report(line); });
    if (!offer) {
        if (!automatic)
            present({{Alert::Kind::information, {}, tr("You are up to date."),
                      tr("You are already using the latest version."), {}},
                     {AlertButton{}},
                     -1});
        return;
    }
    const Question question{{Alert::Kind::information, {}, tr("New version available."),
                             tr("Version %1 is available, you are running version %2. Would you like to download "
                                "the update?")
                                 .arg(offer->item.versionString, m_config.versionString),
                             {}},
                            {{AlertButton::Role::accept, tr("Download")}, {AlertButton::Role::cancel, {}}},
                            0};
    present(question, [url = offer->url](int button) {
        if (button == 0)
            QDesktopServices::openUrl(url);
    });
}

void UpdaterController::fail(bool automatic, const QString& informative)
{
    if (automatic) {
        qCInfo(lcUpdate).noquote() << "automatic update check failed:" << printable(informative);
        return;
    }
    present({{Alert::Kind::warning, {}, tr("Could not check for updates."), informative, {}}, {AlertButton{}}, -1});
}

void UpdaterController::report(const QString& line)
{
    const QString shown = printable(line);
    std::fputs(shown.toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
    emit diagnostic(shown);
}

void UpdaterController::present(const Question& question, std::function<void(int)> answered)
{
    // Parts of these texts come from the server: the alert shows them as plain text.
    m_dialogs.ask(m_alertWindow, question, std::move(answered));
}

}  // namespace brenvo
