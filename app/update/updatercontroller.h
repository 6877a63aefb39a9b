#pragma once

#include "app/dialogs/dialogs.h"
#include "app/update/updaterconfig.h"

#include <QList>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QString>

#include <chrono>
#include <memory>

class QProgressDialog;
class QNetworkAccessManager;
class QNetworkReply;

namespace brenvo {

class AppSettings;

// Looks for a newer release on the update server and offers it.
//
// checkAutomatically() is for the launch (when "CheckForUpdates" is on): at
// most one request every five days, never an alert about a failure.
// checkManually() is for Help → Check for Updates…: always asks the
// server and says what came of it.
//
// The request goes out with TLS 1.2 or later and accepts only server
// certificates chaining to the configured anchors. Every answer is
// untrusted: lists over 1 MiB, malformed lists and unexpected values fail
// the check. Main thread only; nothing here waits.
class UpdaterController : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kAutomaticTimeout{60};
    static constexpr std::chrono::seconds kManualTimeout{5};
    static constexpr std::chrono::seconds kCheckInterval{432000};

    // settings ("LastUpdateCheck") must outlive the controller.
    // dialogs shows the answers.
    UpdaterController(UpdaterConfig config, AppSettings& settings, Dialogs& dialogs, QObject* parent = nullptr);
    ~UpdaterController() override;

    void checkAutomatically() { check(true); }
    // Shows "Checking for Updates…" with Cancel until the answer comes, and
    // the answer, over window (none: over no window, application-modal). A
    // second manual check while one is under way only shows the first.
    void checkManually(QWidget* window = nullptr) { check(false, window); }
    void check(bool automatic, QWidget* window = nullptr);

    const UpdaterConfig& config() const { return m_config; }

signals:
    // A request for the release list went out.
    void fetchStarted(const QNetworkRequest& request);
    // A manual check is under way: this shows it, with Cancel (deleted when
    // the check ends).
    void progressOpened(QProgressDialog* progress);
    // A release was skipped for its minimum OS or its url; the same line
    // goes to standard output.
    void diagnostic(const QString& line);
    // A check has ended: its answer or failure handled, or nothing sent.
    void checkFinished(bool automatic);

private:
    struct Fetch;

    void fetch(bool automatic);
    void showProgress(QNetworkReply* reply);
    void complete(QNetworkReply* reply, const Fetch& fetch);
    void handleList(const QByteArray& body, bool automatic);
    void fail(bool automatic, const QString& informative);
    void report(const QString& line);
    // Over the window of a manual check; an offer after an automatic check
    // over none.
    void present(const Question& question, std::function<void(int button)> answered = {});

    UpdaterConfig m_config;
    AppSettings& m_settings;
    Dialogs& m_dialogs;
    QNetworkAccessManager* m_network = nullptr;  // created on first use
    QList<QSslCertificate> m_anchors;
    bool m_anchorsLoaded = false;
    QPointer<QWidget> m_window;             // of the manual check under way
    QPointer<QProgressDialog> m_progress;   // its "Checking for Updates…"
    QPointer<QWidget> m_alertWindow;        // of the alert about to open
};

}  // namespace brenvo
