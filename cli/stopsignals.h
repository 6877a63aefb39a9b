#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace brenvo::cli {

// Turns SIGINT and SIGTERM into a Qt signal on the main thread: the handler
// only writes the signal's number to a pipe, whose read end the event loop
// watches. After the first signal the default action is restored, so a
// second Ctrl-C ends a process that hangs while stopping.
//
// One instance at a time; the handlers are put back on destruction.
class StopSignals : public QObject {
    Q_OBJECT
public:
    StopSignals();
    ~StopSignals() override;

    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

signals:
    void stopRequested(int signalNumber);

private:
    void readPipe();

    int m_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace brenvo::cli
