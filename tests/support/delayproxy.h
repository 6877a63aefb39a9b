#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace vortan::test {

// A TCP relay on 127.0.0.1 that behaves like a link of a chosen bandwidth
// and delay, for tests and benchmarks on one machine (the kernel here has no
// netem). Every connection made to port() is relayed to 127.0.0.1:target.
// Each direction holds what it read for half the round trip, sends it on no
// faster than the bandwidth, and holds at most `maxHeld` bytes: beyond that
// it stops reading, so TCP pushes back on the writer as a full link would.
//
// It runs on a thread of its own and ends when destroyed or when its
// lifetime is over, whichever comes first; then every relayed connection is
// closed.
class DelayProxy {
public:
    struct Link {
        std::chrono::microseconds roundTrip{0};
        // Bytes per second each way; 0: only the bound below limits.
        double bytesPerSecond = 0;
        // Bytes each direction holds at most: the link's pipe and queue.
        std::int64_t maxHeld = 8 << 20;
        // The kernel's receive buffer of each relayed socket; 0: its own choice.
        int receiveBuffer = 0;
    };

    // A link of this bandwidth and round trip whose bound is its bandwidth-
    // delay product each way plus a 1 MiB queue.
    static Link linkOf(double bytesPerSecond, std::chrono::microseconds roundTrip);

    // Throws std::runtime_error when the listening socket cannot be made.
    DelayProxy(std::uint16_t target, Link link, std::chrono::seconds lifetime = std::chrono::seconds(600));
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    std::uint16_t port() const { return m_port; }
    // While paused nothing moves either way: a stalled link. Connections
    // stay open and what was held goes on once resumed.
    void setPaused(bool paused);
    // Resets every relayed connection, both ways, dropping what was held.
    void cut();

private:
    void run();
    void wake();

    std::uint16_t m_target;
    Link m_link;
    std::chrono::steady_clock::time_point m_deadline;
    int m_listener = -1;
    int m_wake = -1;  // an eventfd that interrupts the thread's poll
    std::uint16_t m_port = 0;
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cut{false};
    std::thread m_thread;
};

}  // namespace vortan::test
