#include "vortan/portmapping/natpmpgateway.h"

#include "vortan/portmapping/upnpgateway.h"

// The library always has strnatpmperr(); its header declares it on request.
#define ENABLE_STRNATPMPERR
#include <natpmp.h>

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <functional>

namespace vortan::natpmp {

namespace {

using namespace std::chrono;

// libnatpmp's answer to one request: 0 and the response, or its error code.
struct Answer {
    int result = 0;
    natpmpresp_t response{};
};

// Sends one request from a handle of its own (on the default route's gateway)
// and waits for the answer. libnatpmp sends again on its own schedule (after
// 250 ms, then twice as long each time); the wait here bounds the total.
Answer ask(const std::function<int(natpmp_t*)>& send)
{
    Answer answer;
    natpmp_t handle{};
    answer.result = initnatpmp(&handle, 0, 0);
    if (answer.result < 0)
        return answer;
    answer.result = send(&handle);
    const auto deadline = steady_clock::now() + NatPmpGateway::kAnswerWait;
    while (answer.result >= 0) {
        timeval untilRetry{};
        getnatpmprequesttimeout(&handle, &untilRetry);
        const auto left = ceil<milliseconds>(deadline - steady_clock::now());
        if (left <= 0ms) {
            answer.result = NATPMP_ERR_NOGATEWAYSUPPORT;
            break;
        }
        const auto retry = ceil<milliseconds>(seconds(untilRetry.tv_sec) + microseconds(untilRetry.tv_usec));
        pollfd socket{handle.s, POLLIN, 0};
        ::poll(&socket, 1, static_cast<int>(std::clamp(retry, 0ms, left).count()));
        answer.result = readnatpmpresponseorretry(&handle, &answer.response);
        if (answer.result != NATPMP_TRYAGAIN)
            break;
        answer.result = 0;
    }
    closenatpmp(&handle);
    return answer;
}

Answer askMapping(std::uint16_t port, std::uint16_t outside, seconds lifetime)
{
    return ask([&](natpmp_t* handle) {
        return sendnewportmappingrequest(handle, NATPMP_PROTOCOL_TCP, port, outside,
                                         static_cast<std::uint32_t>(lifetime.count()));
    });
}

QString refusal(std::uint16_t port, const QString& why)
{
    return QStringLiteral("The gateway refused to forward port %1: %2").arg(port).arg(why);
}

}  // namespace

NatPmpGateway::NatPmpGateway(seconds lifetime) : m_lifetime(lifetime) {}

bool NatPmpGateway::discover()
{
    if (!m_discovered)
        m_discovered = ask(sendpublicaddressrequest).result == 0;
    return m_discovered;
}

std::optional<QString> NatPmpGateway::externalAddress()
{
    const Answer answer = ask(sendpublicaddressrequest);
    if (answer.result != 0)
        return std::nullopt;
    m_discovered = true;
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &answer.response.pnu.publicaddress.addr, text, sizeof text)
        || !upnp::isUsableExternalAddress(text))
        return std::nullopt;
    return QString::fromLatin1(text);
}

bool NatPmpGateway::mapped() const
{
    return m_expiry && steady_clock::now() < *m_expiry;
}

milliseconds NatPmpGateway::renewalDelay() const
{
    if (!m_expiry)
        return 0ms;
    return std::max(0ms, duration_cast<milliseconds>(*m_expiry - steady_clock::now()) / 2);
}

std::optional<QString> NatPmpGateway::mapPort(std::uint16_t port)
{
    if (mapped())
        return std::nullopt;
    m_expiry.reset();
    return requestMapping(port);
}

std::optional<QString> NatPmpGateway::renew()
{
    if (!m_expiry)
        return std::nullopt;
    return requestMapping(m_mappedPort);
}

std::optional<QString> NatPmpGateway::requestMapping(std::uint16_t port)
{
    const Answer answer = askMapping(port, port, m_lifetime);
    if (answer.result != 0)
        return refusal(port, QString::fromUtf8(strnatpmperr(answer.result)));
    const auto& granted = answer.response.pnu.newportmapping;
    if (granted.mappedpublicport != port) {
        // Contacts are told the listening port; another one outside is of no
        // use to them, and it must not stand unseen.
        askMapping(port, 0, 0s);
        m_expiry.reset();
        return refusal(port, QStringLiteral("it offered port %1 instead").arg(granted.mappedpublicport));
    }
    m_mappedPort = port;
    m_expiry = steady_clock::now() + seconds(granted.lifetime);
    return std::nullopt;
}

void NatPmpGateway::unmapPort()
{
    if (!m_expiry)
        return;
    askMapping(m_mappedPort, 0, 0s);
    m_expiry.reset();
}

}  // namespace vortan::natpmp
