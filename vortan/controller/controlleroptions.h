#pragma once

#include "vortan/framer/framer.h"
#include "vortan/records/downloadlocation.h"

#include <QString>
#include <QUuid>

#include <chrono>
#include <optional>

namespace vortan {

class Clock;
class PortMapper;
class SleepInhibitor;

// What a Controller is given besides its key store. Every pointer is borrowed
// (it must outlive the controller); a null one is replaced by the program's
// default, owned by the controller.
struct ControllerOptions {
    // Holds the stored files and the lock; empty: defaultSupportDirectory().
    QString supportDirectory;
    // null: a NullPortMapper (no gateway traffic at all). The program passes
    // UpnpPortMapper::shared().
    PortMapper* portMapper = nullptr;
    // null: SystemClock.
    Clock* clock = nullptr;
    // null: a Login1SleepInhibitor (nothing happens without a system bus).
    SleepInhibitor* sleepInhibitor = nullptr;
    // Users added at every start; absent: defaultBundledUsersPath(); an empty
    // string: none.
    std::optional<QString> bundledUsersPath;
    // Where DownloadLocation::downloads() puts files; empty:
    // defaultDownloadsDirectory(), looked up on first use.
    QString downloadsDirectory;
    // How long after a change the stored files are written.
    std::chrono::milliseconds saveDelay{2000};
    // The largest encoded list message; longer lists go out as several.
    qsizetype listMessageLimit = Framer::kMaxPayloadLength;
    // The most records one user may have offered us; new list entries
    // beyond it are refused.
    qsizetype maxOffersPerUser = 10000;
};

// Why start() did not start. message() names what failed, for the user.
class StartError {
public:
    enum class Kind {
        supportDirectoryLocked,    // another process uses the support directory
        supportDirectoryUnusable,  // it cannot be created or locked
        keyStoreUnavailable,       // the identity key cannot be read or created
    };

    StartError(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {}
    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};

// One record to resume, and where it goes when it is a download without a
// location yet (absent: the downloads directory).
struct ResumeItem {
    QUuid id;
    std::optional<DownloadLocation> location;
};

// What happened with one user since this controller was created.
struct PeerRunStatus {
    // A connection of the user became ready.
    bool connected = false;
    // The user sent a list (its answer to the list request made on ready).
    bool answeredList = false;
    // Times the user went from connected to not connected.
    int disconnects = 0;
};

}  // namespace vortan
