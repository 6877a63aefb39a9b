#include "vortan/portmapping/queuedcall.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <thread>

using vortan::queuedTo;
using vortan::test::waitFor;

namespace {

// A call from another thread and one from the receiver's own thread: both
// run later, in order, on the receiver's thread, with the values they had.
TEST(QueuedCallTest, RunsLaterOnTheReceiversThreadWithCopiesOfTheArguments)
{
    QObject receiver;
    QStringList calls;
    auto call = queuedTo<const QString&, int>(&receiver, [&](const QString& text, int number) {
        const bool home = QThread::currentThread() == receiver.thread();
        calls.append(QStringLiteral("%1 %2%3").arg(text).arg(number).arg(home ? "" : " on another thread"));
    });
    std::thread other([&] {
        QString temporary = QStringLiteral("1.2.3.4");
        call(temporary, 7);
        temporary = QStringLiteral("changed");
    });
    other.join();
    call(QStringLiteral("again"), 8);
    EXPECT_EQ(calls, QStringList{});
    ASSERT_TRUE(waitFor([&] { return calls.size() == 2; }, 5000));
    EXPECT_EQ(calls, QStringList({"1.2.3.4 7", "again 8"}));
}

// Neither the calls posted before the receiver went nor those posted while
// and after it went run.
TEST(QueuedCallTest, AReceiverDestroyedWhileAnotherThreadPostsGetsNoLateCalls)
{
    auto* receiver = new QObject;
    std::atomic<bool> stop{false};
    std::atomic<int> posted{0};
    bool gone = false;
    int calls = 0;
    int lateCalls = 0;
    auto call = queuedTo<>(receiver, [&] {
        ++calls;
        if (gone)
            ++lateCalls;
    });

    std::thread poster([&] {
        while (!stop) {
            call();
            ++posted;
        }
    });
    ASSERT_TRUE(waitFor([&] { return calls >= 50; }, 10000));
    delete receiver;
    gone = true;
    const int postedAtDeletion = posted;
    ASSERT_TRUE(waitFor([&] { return posted > postedAtDeletion + 50; }, 10000));
    stop = true;
    poster.join();
    QCoreApplication::sendPostedEvents();

    EXPECT_EQ(lateCalls, 0);
}

}  // namespace
