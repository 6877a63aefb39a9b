#pragma once

// Two brenvo-cli sides in folders of one root, as a person runs them: Sam
// offers files to Val, who downloads them into root/downloads. Both keep
// their keys in files and use no bus and no gateway.

#include "bench/benchsupport.h"

#include <QString>
#include <QStringList>

namespace bench {

class BrenvoPair {
public:
    // log: each side appends its diagnostics to root/sam.log, root/val.log.
    // A log takes a line per block and message, which costs processor time
    // brenvo-cli as people run it does not spend.
    BrenvoPair(const QString& cli, const QString& root, Environment& env, bool log);

    // Makes both cards and imports each into the other side.
    bool introduce();
    // Sam offers the files to Val, in as many share commands as the length
    // of a command line calls for. The number of commands, 0 on failure.
    int share(const QStringList& paths, int timeoutMs);

    struct Outcome {
        bool senderOk = false;
        bool receiverOk = false;
        // The receiver was still running a while after the sender had left,
        // and was stopped.
        bool receiverStopped = false;
    };
    // Runs both sides with --exit-when-done and --timeout timeoutSeconds
    // until both have ended. A receiver still running graceMs after the
    // sender has left is stopped: what it waits for will not come.
    Outcome run(int timeoutSeconds, int graceMs);

    const Child& sender() const { return m_sender; }
    const Child& receiver() const { return m_receiver; }
    const QString& downloads() const { return m_downloads; }
    // The last lines a side wrote, standard output then standard error,
    // each under a heading with its number of lines.
    QByteArray senderTails(int outLines, int errLines) const;
    QByteArray receiverTails(int outLines, int errLines) const;

private:
    QStringList arguments(const QString& data, const QStringList& rest) const;
    static QByteArray tails(const QString& data, const char* name, int outLines, int errLines);
    bool card(const QString& data, const QString& name, quint16 port, const QString& file);

    QString m_cli;
    QString m_root;
    Environment& m_env;
    bool m_log;
    QString m_sam;
    QString m_val;
    QString m_downloads;
    quint16 m_samPort = 0;
    Child m_sender;
    Child m_receiver;
};

}  // namespace bench
