#pragma once

#include <QObject>

class QSocketNotifier;

namespace brenvo {

// SIGINT and SIGTERM as a Qt signal on the main thread, read from a
// signalfd. blockStopSignals() must run first thing in main(), before any
// thread starts, so that every thread inherits the blocked mask and the
// signals wait in the descriptor instead of ending the process.
void blockStopSignals();

class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested(int signalNumber);

private:
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace brenvo
