#include "tests/support/delayproxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace vortan::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t kChunk = 65536;

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

struct Chunk {
    std::vector<char> bytes;
    std::size_t offset = 0;
    Clock::time_point due;
};

// One way of one relayed connection.
struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Chunk> chunks;
    std::int64_t held = 0;
    Clock::time_point lastDeparture{};
    bool readEnded = false;
    bool writeShut = false;

    bool done() const { return writeShut; }
    bool due(Clock::time_point now) const { return !chunks.empty() && chunks.front().due <= now; }
};

struct Relay {
    Relay(int client, int server) : client(client), server(server)
    {
        up.from = down.to = client;
        up.to = down.from = server;
    }
    Fd client;
    Fd server;
    Direction up;
    Direction down;
    bool broken = false;
};

}  // namespace

DelayProxy::Link DelayProxy::linkOf(double bytesPerSecond, std::chrono::microseconds roundTrip)
{
    const double oneWay = std::chrono::duration<double>(roundTrip).count() / 2;
    return Link{roundTrip, bytesPerSecond, std::int64_t(bytesPerSecond * oneWay) + (1 << 20)};
}

DelayProxy::DelayProxy(std::uint16_t target, Link link, std::chrono::seconds lifetime)
    : m_target(target), m_link(link), m_deadline(Clock::now() + lifetime)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listener, 16) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (m_listener >= 0)
            ::close(m_listener);
        throw std::runtime_error("delay proxy: cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread([this] { run(); });
}

DelayProxy::~DelayProxy()
{
    m_stop = true;
    wake();
    m_thread.join();
    ::close(m_listener);
    ::close(m_wake);
}

void DelayProxy::setPaused(bool paused)
{
    m_paused = paused;
    wake();
}

void DelayProxy::cut()
{
    m_cut = true;
    wake();
}

void DelayProxy::wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

void DelayProxy::run()
{
    const auto delay = std::chrono::duration_cast<Clock::duration>(m_link.roundTrip) / 2;
    std::vector<std::unique_ptr<Relay>> relays;
    std::vector<char> buffer(kChunk);

    const auto pump = [&](Relay& relay, Direction& d, Clock::time_point now) {
        while (!d.readEnded && d.held < m_link.maxHeld) {
            const ssize_t n = ::read(d.from, buffer.data(), std::size_t(std::min(kChunk, m_link.maxHeld - d.held)));
            if (n == 0) {
                d.readEnded = true;
            } else if (n < 0) {
                if (errno != EAGAIN && errno != EINTR)
                    relay.broken = true;
                break;
            } else {
                Clock::time_point departure = now;
                if (m_link.bytesPerSecond > 0) {
                    departure = std::max(now, d.lastDeparture)
                                + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(double(n) / m_link.bytesPerSecond));
                }
                d.lastDeparture = departure;
                d.chunks.push_back(Chunk{std::vector<char>(buffer.data(), buffer.data() + n), 0, departure + delay});
                d.held += n;
            }
        }
        while (d.due(now)) {
            Chunk& chunk = d.chunks.front();
            const ssize_t n = ::send(d.to, chunk.bytes.data() + chunk.offset, chunk.bytes.size() - chunk.offset,
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0) {
                if (errno != EAGAIN && errno != EINTR)
                    relay.broken = true;
                break;
            }
            chunk.offset += std::size_t(n);
            d.held -= n;
            if (chunk.offset == chunk.bytes.size())
                d.chunks.pop_front();
        }
        if (d.readEnded && d.chunks.empty() && !d.writeShut) {
            ::shutdown(d.to, SHUT_WR);
            d.writeShut = true;
        }
    };

    while (!m_stop) {
        const Clock::time_point now = Clock::now();
        if (now >= m_deadline)
            break;
        const bool paused = m_paused;
        if (m_cut.exchange(false)) {
            const linger reset{1, 0};
            for (const auto& relay : relays) {
                ::setsockopt(relay->client.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                ::setsockopt(relay->server.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            }
            relays.clear();
        }

        if (!paused) {
            for (const auto& relay : relays) {
                pump(*relay, relay->up, now);
                pump(*relay, relay->down, now);
            }
            std::erase_if(relays, [](const std::unique_ptr<Relay>& r) { return r->broken || (r->up.done() && r->down.done()); });
        }

        // Wait for the next thing to do: a readable or writable socket, a
        // chunk falling due, a new connection, a wake-up or the end.
        std::vector<pollfd> fds{{m_wake, POLLIN, 0}, {m_listener, POLLIN, 0}};
        Clock::time_point until = m_deadline;
        for (const auto& relay : relays) {
            short client = 0, server = 0;
            if (!paused) {
                const auto wants = [&](const Direction& d, short& reader, short& writer) {
                    if (!d.readEnded && d.held < m_link.maxHeld)
                        reader |= POLLIN;
                    if (d.due(now))
                        writer |= POLLOUT;
                    else if (!d.chunks.empty())
                        until = std::min(until, d.chunks.front().due);
                };
                wants(relay->up, client, server);
                wants(relay->down, server, client);
            }
            // A socket with nothing to wait for stays out: a hung-up one
            // would wake the poll at once, every time.
            fds.push_back({client ? relay->client.get() : -1, client, 0});
            fds.push_back({server ? relay->server.get() : -1, server, 0});
        }
        const auto wait = std::max<Clock::duration>(until - now, Clock::duration::zero());
        const timespec timeout{time_t(std::chrono::duration_cast<std::chrono::seconds>(wait).count()),
                               long((wait % std::chrono::seconds(1)) / std::chrono::nanoseconds(1))};
        if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0 && errno != EINTR)
            break;
        if (fds[0].revents) {
            std::uint64_t count;
            [[maybe_unused]] const ssize_t n = ::read(m_wake, &count, sizeof count);
        }
        if (fds[1].revents & POLLIN) {
            for (;;) {
                const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (client < 0)
                    break;
                const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                if (m_link.receiveBuffer > 0) {
                    ::setsockopt(client, SOL_SOCKET, SO_RCVBUF, &m_link.receiveBuffer, sizeof m_link.receiveBuffer);
                    if (server >= 0)
                        ::setsockopt(server, SOL_SOCKET, SO_RCVBUF, &m_link.receiveBuffer, sizeof m_link.receiveBuffer);
                }
                const sockaddr_in target = loopback(m_target);
                // A blocking connect to 127.0.0.1 is answered at once.
                if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
                    ::close(client);
                    if (server >= 0)
                        ::close(server);
                    continue;
                }
                ::fcntl(server, F_SETFL, ::fcntl(server, F_GETFL) | O_NONBLOCK);
                const int one = 1;
                ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                relays.push_back(std::make_unique<Relay>(client, server));
            }
        }
    }
}

}  // namespace vortan::test
