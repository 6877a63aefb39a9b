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

TEST(QueuedCallTest, RunsLaterOnTheReceiversThreadWithCopiesOfTheArguments)
{
    QObject receiver;
    int calls = 0;
    QString text;
    int number = 0;
    QThread* thread = nullptr;
    auto call = queuedTo<const QString&, int>(&receiver, [&](const QString& t, int n) {
        ++calls;
        text = t;
        number = n;
        thread = QThread::currentThread();
    });

    std::thread other([&] {
        QString temporary = QStringLiteral("1.2.3.4");
        call(temporary, 7);
        temporary = QStringLiteral("changed");
    });
    other.join();
    EXPECT_EQ(calls, 0);

    ASSERT_TRUE(waitFor([&] { return calls == 1; }, 5000));
    EXPECT_EQ(text, QStringLiteral("1.2.3.4"));
    EXPECT_EQ(number, 7);
    EXPECT_EQ(thread, QCoreApplication::instance()->thread());

    // A call from the receiver's own thread is queued too.
    call(QStringLiteral("again"), 8);
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(waitFor([&] { return calls == 2; }, 5000));
    EXPECT_EQ(number, 8);
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
