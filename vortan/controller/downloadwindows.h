#pragma once

#include "vortan/clock.h"
#include "vortan/controller/requestwindow.h"
#include "vortan/records/blockset.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUuid>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace vortan {

// The request windows of the running downloads, by record id, with the user
// whose connection each measures; in memory only. A running download has a
// window from its first request on a connection until it finishes, is
// paused or removed, fails to write, or its user's connection ends or is
// replaced (the requests it timed are then void).
//
// It also watches for what goes unanswered:
// - A quiet download, one that receives nothing for kQuietDownloadTime
//   although it has asked for blocks, has its user's connection looked at
//   (a link that went is closed, not asked anything more) and its user
//   asked for the list again,
//   so that an offer the user withdrew is seen as such. Its requests stand:
//   with thousands of files on one connection, answers may well take longer.
// - A request is taken as lost only when it is still unanswered
//   kLostRequestTime after an answer to a later request of the same user
//   arrived (a sender answers in about the order it was asked). Its blocks
//   are then asked for again.
class DownloadWindows {
public:
    // How often running windows are checked for a stalled link.
    static constexpr std::chrono::milliseconds kWindowCheckInterval{250};
    static constexpr std::chrono::milliseconds kQuietDownloadTime{20000};
    static constexpr std::chrono::milliseconds kQuietCheckInterval{5000};
    static constexpr std::chrono::milliseconds kLostRequestTime{20000};

    struct Limits {
        std::int64_t maxRequestWindow = RequestWindow::kFloor;
        std::int64_t maxConnectionWindow = RequestWindow::kFloor;
    };
    struct Engine {
        // Whether the download still waits for blocks: not paused, failed,
        // withdrawn or complete.
        std::function<bool(const QUuid& id)> waitsForBlocks;
        // Asks the user for the list again, because of a quiet download;
        // false when the user is not connected.
        std::function<bool(const QByteArray& user)> askForList;
        // Whether the user's connection still carries what we send; false
        // when it was just closed as lost (its requests go with it).
        std::function<bool(const QByteArray& user)> linkAlive;
        // These requested blocks of the download are taken as lost: no
        // longer wanted, to be asked for again.
        std::function<void(const QUuid& id, const BlockSet& blocks)> lost;
    };

    DownloadWindows(Clock& clock, Limits limits, Engine engine);
    ~DownloadWindows();

    // The download's window, made for the user's connection if need be.
    RequestWindow& windowFor(const QUuid& id, const QByteArray& user);
    const RequestWindow* find(const QUuid& id) const;
    void asked(const QUuid& id, const BlockSet& blocks);
    void received(const QUuid& id, std::int64_t block, std::int64_t bytes);
    void drop(const QUuid& id);
    void dropAllOf(const QByteArray& user);
    // Logs the window's figures with `what` (a debug line), if it has one.
    void log(const QUuid& id, const QString& what) const;

private:
    struct DownloadWindow {
        QByteArray user;
        RequestWindow window;
    };
    std::int64_t capFor(qsizetype sharing) const;
    // The user's windows went from `before` to `after`: their caps follow.
    void shareConnection(const QByteArray& user, qsizetype before, qsizetype after);
    void check();
    void checkQuiet();
    void checkLost(Clock::TimePoint now);
    static void log(const QUuid& id, const RequestWindow& window, const QString& what);

    Clock& m_clock;
    Limits m_limits;
    Engine m_engine;
    QHash<QUuid, DownloadWindow> m_windows;
    QHash<QByteArray, qsizetype> m_sharing;  // windows per user
    std::unique_ptr<Timer> m_windowTimer;
    std::unique_ptr<Timer> m_quietTimer;
    // When each user was last asked for its list because of a quiet download.
    QHash<QByteArray, Clock::TimePoint> m_quietListRequests;
    // Per user, the latest time a request was made that has been answered,
    // as seen at each quiet check (oldest first): requests made before what
    // had been answered kLostRequestTime ago are lost.
    struct Answered {
        Clock::TimePoint seen;
        Clock::TimePoint askedAt;
    };
    QHash<QByteArray, Clock::TimePoint> m_latestAnswered;
    QHash<QByteArray, std::deque<Answered>> m_answeredHistory;
};

}  // namespace vortan
