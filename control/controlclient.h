#pragma once

#include "control/messages.h"

#include <QString>

#include <chrono>

namespace brenvo::control {

// What came of one request to the running instance.
struct ClientResult {
    enum class Status {
        Answered,    // answer holds the instance's answer (which may be a failure)
        NoInstance,  // nothing listens for this support directory
        Failed,      // an instance is there but the exchange broke: error says how
    };
    Status status = Status::Failed;
    Answer answer;  // when Answered
    QString error;
};

// Reaches the running instance of a support directory. send() blocks the
// calling thread for at most the timeout (connecting, writing and waiting
// for the answer together), without running the event loop: it is meant for
// a second launch before its own event loop starts and for brenvo-cli.
class ControlClient {
public:
    explicit ControlClient(const QString& supportDir);

    ClientResult send(const Request& request, std::chrono::milliseconds timeout = std::chrono::seconds(2)) const;
    QString socketPath() const { return m_path; }

private:
    QString m_path;
};

}  // namespace brenvo::control
