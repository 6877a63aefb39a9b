// The update check against a real HTTPS server on 127.0.0.1 (Python's
// http.server with a certificate from a CA made here).

#include "app/settings/appsettings.h"
#include "app/update/updatercontroller.h"
#include "tests/app/support/scripteddialogs.h"

#include "tests/support/testsupport.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace brenvo {
namespace {

constexpr char kListPath[] = "brenvo/updates.plist";
constexpr char kMozillaRoots[] = "/usr/share/ca-certificates/mozilla";

bool run(const QString& program, const QStringList& arguments, const QString& folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A CA in anchors/ and a certificate for 127.0.0.1 that it issued.
bool makeCertificates(const QString& folder)
{
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    QDir(folder).mkpath("anchors");
    vortan::test::writeFile(folder + "/ext.cnf", "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                                         "extendedKeyUsage=serverAuth\n");
    return run("openssl", QStringList{"req", "-x509"} + ec + QStringList{"-keyout", "ca.key", "-out", "anchors/ca.crt",
                   "-days", "2", "-subj", "/CN=Brenvo Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                   "-addext", "keyUsage=critical,keyCertSign,cRLSign"}, folder) &&
           run("openssl", QStringList{"req"} + ec + QStringList{"-keyout", "server.key", "-out", "server.csr",
                   "-subj", "/CN=127.0.0.1"}, folder) &&
           run("openssl", {"x509", "-req", "-in", "server.csr", "-CA", "anchors/ca.crt", "-CAkey", "ca.key",
                   "-CAcreateserial", "-out", "server.crt", "-days", "2", "-extfile", "ext.cnf"}, folder);
}

// The Python server, serving the files of root/ until destroyed.
class Server {
public:
    Server(const QString& folder, bool tls11Only, bool trickle = false)
    {
        QStringList arguments{HTTPS_SERVER_SCRIPT, folder + "/root", folder + "/server.crt", folder + "/server.key"};
        if (tls11Only)
            arguments << "--tls11-only";
        if (trickle)
            arguments << "--trickle";
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            while (m_process.canReadLine()) {
                const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
                if (line.startsWith("PORT "))
                    port = line.mid(5).toUShort();
                else
                    requests << line;
            }
        });
        m_process.start("/usr/bin/python3", arguments);
        vortan::test::waitFor([this] { return port != 0 || m_process.state() == QProcess::NotRunning; }, 20000);
    }
    ~Server()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    quint16 port = 0;
    QStringList requests;

private:
    QProcess m_process;
};

// Takes the URLs the program would open in the browser.
class Browser : public QObject {
    Q_OBJECT
public:
    Browser() { QDesktopServices::setUrlHandler("https", this, "open"); }
    ~Browser() override { QDesktopServices::unsetUrlHandler("https"); }
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

struct Item {
    qint64 version;
    QString minimumOS = "5.0.0";
    QString url = "https://127.0.0.1/download";
};

QByteArray xmlList(const QList<Item>& items)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                     "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\"><dict><key>items</key><array>";
    for (const Item& item : items) {
        xml += QStringLiteral("<dict><key>version</key><integer>%1</integer><key>versionString</key><string>1.%1</string>"
                              "<key>minimumOS</key><string>%2</string><key>url</key><string>%3</string></dict>")
                   .arg(item.version).arg(item.minimumOS, item.url.toHtmlEscaped())
                   .toUtf8();
    }
    return xml + "</array></dict></plist>\n";
}

QByteArray binaryList(const QByteArray& xml)
{
    QProcess python;
    python.start("/usr/bin/python3", {"-c", "import plistlib, sys; sys.stdout.buffer.write(plistlib.dumps("
                                            "plistlib.loads(sys.stdin.buffer.read()), fmt=plistlib.FMT_BINARY))"});
    python.write(xml);
    python.closeWriteChannel();
    python.waitForFinished(20000);
    return python.readAllStandardOutput();
}

struct Shown {
    QString text;
    QString informative;
};

class UpdaterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_folder = new QTemporaryDir;
        ASSERT_TRUE(makeCertificates(s_folder->path()));
        QDir(s_folder->path()).mkpath("root/brenvo");
    }
    static void TearDownTestSuite() { delete s_folder; }

    void TearDown() override
    {
        QFile::remove(root(kListPath));
    }

    static QString root(const QString& path) { return s_folder->path() + "/root/" + path; }
    static void publish(const QByteArray& list) { ASSERT_TRUE(vortan::test::writeFile(root(kListPath), list)); }

    // Starts the server and a checker of running build 11 on Linux 6.1.0.
    void start(bool tls11Only = false, const QString& anchors = s_folder->path() + "/anchors", bool trickle = false)
    {
        m_server = std::make_unique<Server>(s_folder->path(), tls11Only, trickle);
        ASSERT_NE(m_server->port, 0);
        UpdaterConfig config;
        config.url = QUrl(QStringLiteral("https://127.0.0.1:%1/%2").arg(m_server->port).arg(kListPath));
        config.anchorDirectory = anchors;
        config.versionString = "1.1";
        config.buildNumber = 11;
        config.osVersion = QVersionNumber(6, 1, 0);
        m_updater = std::make_unique<UpdaterController>(config, m_settings, m_dialogs);
        QObject::connect(m_updater.get(), &UpdaterController::progressOpened,
                         [this](QProgressDialog* progress) { m_progress << progress; });
        QObject::connect(m_updater.get(), &UpdaterController::diagnostic,
                         [this](const QString& line) { m_diagnostics << line; });
        QObject::connect(m_updater.get(), &UpdaterController::fetchStarted,
                         [this](const QNetworkRequest& request) { m_timeouts << request.transferTimeout(); });
    }

    // Runs one check to its end; an alert it shows is answered with button
    // (empty: its cancel or OK button).
    void check(bool automatic, const QString& button = {})
    {
        QSignalSpy finished(m_updater.get(), &UpdaterController::checkFinished);
        m_dialogs.answer(button);
        m_updater->check(automatic);
        ASSERT_TRUE(finished.count() == 1 || finished.wait(15000));
        m_dialogs.forgetAnswers();
    }
    QList<Shown> alerts() const
    {
        QList<Shown> shown;
        for (const auto& asked : m_dialogs.asked)
            shown.append({asked.question.alert.text, asked.question.alert.informativeText});
        return shown;
    }
    // The one alert of a manual check.
    Shown alert() const
    {
        EXPECT_EQ(m_dialogs.asked.size(), 1);
        return alerts().value(0);
    }

    static inline QTemporaryDir* s_folder = nullptr;
    QTemporaryDir m_home;
    AppSettings m_settings{m_home.filePath("Brenvo.conf")};
    std::unique_ptr<Server> m_server;
    test::ScriptedDialogs m_dialogs;
    std::unique_ptr<UpdaterController> m_updater;
    QStringList m_diagnostics;
    QList<int> m_timeouts;
    QList<QPointer<QProgressDialog>> m_progress;
};

TEST_F(UpdaterTest, AutomaticCheckAtMostEveryFiveDays)
{
    struct Case {
        std::optional<int> daysSinceLastCheck;  // nothing: first launch
        bool fetches;
    };
    const Case cases[] = {{std::nullopt, false}, {4, false}, {6, true}};
    publish(xmlList({{12}}));
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.daysSinceLastCheck.value_or(-1));
        m_server->requests.clear();
        m_timeouts.clear();
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const QDateTime last = before.addDays(-c.daysSinceLastCheck.value_or(0));
        if (c.daysSinceLastCheck)
            m_settings.lastUpdateCheck.set(last);
        else
            m_settings.removeAll();
        check(true);
        if (c.fetches) {
            EXPECT_EQ(m_timeouts, QList<int>{60000});
            EXPECT_EQ(m_server->requests, QStringList{"GET /brenvo/updates.plist"});
            EXPECT_GE(m_settings.lastUpdateCheck().value_or(QDateTime()), before);
            ASSERT_EQ(alerts().size(), 1);  // an offer is shown also after an automatic check
            EXPECT_EQ(alerts()[0].text, "New version available.");
        } else {
            EXPECT_TRUE(m_timeouts.isEmpty());
            EXPECT_TRUE(m_dialogs.asked.isEmpty());
            // First launch records now; a recent check stays as it was.
            const QDateTime stored = m_settings.lastUpdateCheck().value_or(QDateTime());
            if (c.daysSinceLastCheck)
                EXPECT_EQ(stored.toSecsSinceEpoch(), last.toSecsSinceEpoch());
            else
                EXPECT_GE(stored.toSecsSinceEpoch(), before.toSecsSinceEpoch());
        }
    }
    vortan::test::waitFor([] { return false; }, 300);
    EXPECT_EQ(m_server->requests.size(), 1);
}

// A manual check says what it found; an automatic one only offers a release
// and keeps failures to itself.
TEST_F(UpdaterTest, ManualCheckOffersTheFirstSuitableReleaseOrSaysWhatWentWrong)
{
    const QString offer12 = "Version 1.12 is available, you are running version 1.1. Would you like to download the update?";
    const QString upToDate = "You are already using the latest version.";
    const QString failed = "Could not check for updates.";
    const QString unreadable = "The list of updates could not be read (";
    struct Case {
        const char* name;
        std::optional<QByteArray> list;  // nothing: 404
        QString text;
        QString informative;  // the start of it for a failure
        QStringList diagnostics;
    };
    const Case cases[] = {
        {"older first", xmlList({{10}, {12}}), "New version available.", offer12, {}},
        {"binary list", binaryList(xmlList({{10}, {12}})), "New version available.", offer12, {}},
        {"two-component minimum OS", xmlList({{13, "11.0"}, {12}}), "New version available.", offer12,
         {"Failed to parse minimum OS version: 11.0"}},
        {"other host", xmlList({{13, "5.0.0", "https://example.com/x"}}), "You are up to date.", upToDate,
         {"Bad url: https://example.com/x"}},
        {"plain http", xmlList({{13, "5.0.0", "http://127.0.0.1/x"}}), "You are up to date.", upToDate,
         {"Bad url: http://127.0.0.1/x"}},
        {"newer OS needed", xmlList({{13, "6.1.1"}}), "You are up to date.", upToDate, {}},
        {"same build", xmlList({{11}}), "You are up to date.", upToDate, {}},
        {"missing list", std::nullopt, failed, "not found", {}},
        {"oversize list", QByteArray((1 << 20) + 1, ' '), failed, unreadable + "larger than", {}},
        {"not a property list", "{\"items\": []}", failed, unreadable + "XML", {}},
        {"truncated binary", binaryList(xmlList({{12}})).left(40), failed, unreadable + "property list", {}},
        {"version is text", xmlList({{12}}).replace("<integer>12</integer>", "<string>12</string>"), failed,
         unreadable + "“version” of item 1 has the wrong type)", {}},
        {"url missing", xmlList({{12}}).replace("<key>url</key>", "<key>link</key>"), failed,
         unreadable + "item 1 has no “url”)", {}},
    };
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_dialogs.asked.clear();
        m_diagnostics.clear();
        m_timeouts.clear();
        if (c.list)
            publish(*c.list);
        else
            QFile::remove(root(kListPath));
        check(false);
        EXPECT_EQ(m_timeouts, QList<int>{5000});
        EXPECT_EQ(alert().text, c.text);
        if (c.text == failed)
            EXPECT_TRUE(alert().informative.startsWith(c.informative)) << alert().informative.toStdString();
        else
            EXPECT_EQ(alert().informative, c.informative);
        EXPECT_EQ(m_diagnostics, c.diagnostics);
        m_dialogs.asked.clear();
        m_settings.lastUpdateCheck.set(QDateTime::currentDateTimeUtc().addDays(-6));
        check(true);
        EXPECT_EQ(m_dialogs.asked.size(), c.text == "New version available." ? 1 : 0);
    }

    // "Download" opens the release's page.
    Browser browser;
    publish(*cases[0].list);
    m_dialogs.asked.clear();
    check(false, "Download");
    EXPECT_EQ(alert().text, "New version available.");
    vortan::test::waitFor([&] { return !browser.opened.isEmpty(); }, 5000);
    EXPECT_EQ(browser.opened, QList<QUrl>{QUrl("https://127.0.0.1/download")});
}

TEST_F(UpdaterTest, ManualCheckShowsItIsCheckingAndCanBeCancelled)
{
    publish(xmlList({{12}}));
    start(false, s_folder->path() + "/anchors", true);
    QWidget window;
    window.show();
    QSignalSpy finished(m_updater.get(), &UpdaterController::checkFinished);
    m_updater->checkManually(&window);
    ASSERT_EQ(m_progress.size(), 1);
    QPointer<QProgressDialog> progress = m_progress[0];
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->labelText(), "Checking for Updates…");
    EXPECT_EQ(progress->parentWidget(), &window);
    EXPECT_EQ(progress->windowModality(), Qt::WindowModal);
    // The server answers a byte at a time: still checking a while later.
    ASSERT_TRUE(vortan::test::waitFor([this] { return !m_server->requests.isEmpty(); }, 10000));
    vortan::test::waitFor([] { return false; }, 1500);
    EXPECT_TRUE(finished.isEmpty());
    m_updater->checkManually(&window);  // a second check only shows the first
    EXPECT_EQ(m_progress.size(), 1);

    QElapsedTimer clock;
    clock.start();
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_TRUE(cancel);
    EXPECT_EQ(cancel->text(), "Cancel");
    cancel->click();
    ASSERT_TRUE(finished.count() == 1 || finished.wait(2000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(m_dialogs.asked.isEmpty());
    EXPECT_TRUE(progress.isNull() || progress->isHidden());
    EXPECT_FALSE(m_settings.lastUpdateCheck());
}

TEST_F(UpdaterTest, OnlyTheAnchorsAndModernTlsAreTrusted)
{
    struct Case {
        const char* name;
        bool tls11Only;
        QString anchors;
        QString refusal;  // start of the error; empty: trusted
    };
    const QString handshake = "SSL handshake failed";
    const Case cases[] = {
        {"test CA as anchor", false, s_folder->path() + "/anchors", {}},
        {"distribution roots only", false, kMozillaRoots, handshake},
        {"an empty anchor folder", false, s_folder->path() + "/root", "No trusted root certificates were found"},
        {"TLS 1.1 server", true, s_folder->path() + "/anchors", handshake},
    };
    publish(xmlList({{11}}));

    // The test CA becomes a root the user added: Qt's default trust now
    // accepts the server, the check must not.
    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
    QSslConfiguration userTrust = original;
    userTrust.addCaCertificates(s_folder->path() + "/anchors/ca.crt");
    QSslConfiguration::setDefaultConfiguration(userTrust);
    struct Restore {
        QSslConfiguration configuration;
        ~Restore() { QSslConfiguration::setDefaultConfiguration(configuration); }
    } restore{original};
    {
        start();
        QNetworkAccessManager network;
        std::unique_ptr<QNetworkReply> reply(
            network.get(QNetworkRequest(QUrl(QStringLiteral("https://127.0.0.1:%1/").arg(m_server->port)))));
        ASSERT_TRUE(vortan::test::waitFor([&reply] { return reply->isFinished(); }, 15000));
        ASSERT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404) << reply->errorString().toStdString();
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_dialogs.asked.clear();
        start(c.tls11Only, c.anchors);
        check(false);
        if (c.refusal.isEmpty()) {
            EXPECT_EQ(alert().text, "You are up to date.");
        } else {
            EXPECT_EQ(alert().text, "Could not check for updates.");
            EXPECT_TRUE(alert().informative.startsWith(c.refusal)) << alert().informative.toStdString();
            EXPECT_TRUE(m_server->requests.isEmpty());
        }
    }
}

}  // namespace
}  // namespace brenvo

#include "updater_test.moc"
