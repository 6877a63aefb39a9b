// The control socket's frames and requests, decoded as untrusted input.

#include "control/messages.h"
#include "control/wire.h"

#include <gtest/gtest.h>

using namespace brenvo::control;

namespace {

TEST(ControlFrames, AFrameArrivingByteByByteIsCutOutWhole)
{
    const QByteArray stream = encodeFrame("{\"a\":1}") + encodeFrame("{}");
    FrameReader reader;
    QList<QByteArray> payloads;
    for (char byte : stream) {
        reader.append(QByteArray(1, byte));
        if (reader.next() == FrameReader::Status::Frame)
            payloads.append(reader.payload());
    }
    EXPECT_EQ(payloads, (QList<QByteArray>{"{\"a\":1}", "{}"}));
    EXPECT_FALSE(reader.hasPartialFrame());
}

TEST(ControlRequests, UntrustedPayloadsAreRefused)
{
    const QByteArray longEntry = "\"" + QByteArray(kMaxEntryLength + 1, 'x') + "\"";
    const struct {
        QByteArray payload;
        bool garbled;
    } cases[] = {
        {"not json", true},
        {"[1,2]", true},
        {"{\"type\":\"reboot\"}", false},
        {"{\"urls\":[]}", false},
        {"{\"type\":\"open\",\"urls\":\"brenvo://file/1\"}", false},
        {"{\"type\":\"open\",\"urls\":[\"https://example.org/\"]}", false},
        {"{\"type\":\"open\",\"cards\":[\"relative.bcard\"]}", false},
        {"{\"type\":\"open\",\"cards\":[" + longEntry + "]}", false},
        {"{\"type\":\"command\",\"args\":[]}", false},
        {"{\"type\":\"command\",\"name\":\"Send me\"}", false},
        {"{\"type\":\"command\",\"name\":\"send\",\"args\":[1]}", false},
    };
    for (const auto& c : cases) {
        const RequestDecoding decoded = decodeRequest(c.payload);
        EXPECT_FALSE(decoded.request) << c.payload.left(80).constData();
        EXPECT_FALSE(decoded.error.isEmpty()) << c.payload.left(80).constData();
        EXPECT_EQ(decoded.garbled, c.garbled) << c.payload.left(80).constData();
    }
}

// Well-formed requests and answers travel in server_test.cpp.
TEST(ControlAnswers, BrokenAnswersAreRefused)
{
    for (const QByteArray payload : {"{}", "{\"type\":\"answer\",\"ok\":1}", "{\"type\":\"answer\",\"ok\":true,\"status\":1.5}",
                                     "{\"type\":\"answer\",\"ok\":true,\"status\":1e12}"})
        EXPECT_FALSE(decodeAnswer(payload).answer) << payload.constData();
}

}  // namespace
