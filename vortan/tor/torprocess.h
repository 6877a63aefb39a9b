#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

#include <memory>

namespace vortan {

// The tor program as a child process: its own data directory (0700), its
// control port and SOCKS port on Unix-domain sockets inside it (nothing on
// TCP), cookie authentication, and tor ending with this process
// (__OwningControllerProcess). A tor that ends or never opens its control
// port is started again after a wait that doubles from 1 s to 1 minute.
class TorProcess : public QObject {
    Q_OBJECT
public:
    // extraTorrc: lines added to the torrc (a private network, bridges).
    TorProcess(QString program, QString directory, QString extraTorrc, QObject* parent = nullptr);
    ~TorProcess() override;

    void start();
    // Stops tor, waiting a moment for it to go (at quit).
    void stop();

    QString controlPath() const;
    QString socksPath() const;
    // The tor runs and says its control port is open.
    bool controlOpen() const { return m_controlOpen; }
    // A connection made through it worked: the next failure waits 1 s again.
    void resetBackoff();

    // Where tor is: the program's path, or empty when it is not installed.
    static QString find(const QString& program);

    static constexpr int kFirstWaitMs = 1000;
    static constexpr int kLastWaitMs = 60'000;
    // How long a started tor may take to open its control port.
    static constexpr int kOpenTimeoutMs = 30'000;

signals:
    // Its control port is open: connect to controlPath() now.
    void controlReady();
    // The running tor ended or could not start; another start follows.
    void ended(const QString& reason);

private:
    void launch();
    bool writeTorrc(QString* error);
    void readOutput();
    void finished();
    void scheduleRestart(const QString& reason);

    QString m_program;
    QString m_directory;
    QString m_extraTorrc;
    std::unique_ptr<QProcess> m_process;
    QTimer m_restart;
    QTimer m_openTimeout;
    int m_nextWaitMs = kFirstWaitMs;
    QByteArray m_output;
    bool m_running = false;
    bool m_controlOpen = false;
};

}  // namespace vortan
