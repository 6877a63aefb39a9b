// The control socket's frames and requests, decoded as untrusted input.

#include "control/messages.h"
#include "control/wire.h"

#include <gtest/gtest.h>

#include <QUrl>

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

vortan::FileRow row(bool download, std::optional<vortan::VortanError> error)
{
    vortan::FileRow row;
    row.id = QUuid::createUuid();
    row.name = QString::fromUtf8("r\u00e9sum\u00e9 \"1\".pdf");
    row.length = (qint64(1) << 40) + 1;
    row.numberOfBlocks = 8388609;
    row.blockCount = 7;
    row.bytesDone = 7 * 131072;
    row.download = download;
    row.paused = true;
    row.unavailable = download;
    row.error = std::move(error);
    row.user = QByteArray(32, '\xfe');
    row.location = QUrl::fromLocalFile("/home/ann/Downloads/a b#c%20.pdf");
    row.status = vortan::FileRow::Status::failed;
    return row;
}

TEST(ControlMessages, EveryRequestAndAnswerTravelsWhole)
{
    const vortan::User ann("Ann \u2603", "fe80::1", 54322, QByteArray(32, 'a'));
    const vortan::User bob("Bob", std::nullopt, std::nullopt, QByteArray(32, 'b'));
    const QList<QUuid> ids{QUuid::createUuid(), QUuid::createUuid()};
    const vortan::FileRow out = row(false, std::nullopt);
    const vortan::FileRow in = row(true, vortan::VortanError::network(vortan::NetworkError::tls(-9806, "bad record")));
    const vortan::FileRow failed = row(true, vortan::VortanError::other(vortan::OtherError{"No space left", 28}));
    const Request requests[] = {
        OpenRequest{{"brenvo://file/4"}, {"/tmp/Bob.bcard"}},
        RemoteRequest{CardRequest{}},
        RemoteRequest{CardRequest{"Ann", "", 1}},
        RemoteRequest{ImportRequest{{ann, bob}}},
        RemoteRequest{UsersRequest{}},
        RemoteRequest{FilesRequest{}},
        RemoteRequest{ShareRequest{{"/a b/c.txt", "/d"}, {ann.key, bob.key}}},
        RemoteRequest{PauseRequest{ids}},
        RemoteRequest{ResumeRequest{ids, "/home/ann/Downloads"}},
        RemoteRequest{ResumeRequest{{}, std::nullopt}},
        RemoteRequest{RemoveRequest{ids}},
    };
    for (const Request& request : requests) {
        EXPECT_EQ(checkRequest(request), QString()) << requestType(request).toStdString();
        EXPECT_EQ(decodeRequest(encodeRequest(request)).request, request) << requestType(request).toStdString();
    }
    const Answer answers[] = {
        DoneAnswer{},
        ErrorAnswer{ErrorAnswer::Kind::unreadable, "/a", "Permission denied"},
        refusal("busy"),
        CardAnswer{bob},
        ImportAnswer{{{true, std::nullopt}, {false, ann}, {false, std::nullopt}}},
        UsersAnswer{{ann, bob}},
        FilesAnswer{{out, in, failed}, {ann}},
        ShareAnswer{{out}, {out, out}, {bob}},
        RecordsAnswer{{in}, "Read-only file system"},
        RecordsAnswer{},
    };
    for (const Answer& answer : answers)
        EXPECT_EQ(decodeAnswer(encodeAnswer(answer)).answer, answer) << encodeAnswer(answer).left(120).constData();
}

TEST(ControlRequests, UntrustedPayloadsAreRefused)
{
    const QByteArray longEntry = "\"" + QByteArray(kMaxEntryLength + 1, 'x') + "\"";
    QByteArray manyIds = "{\"type\":\"pause\",\"ids\":[";
    for (int i = 0; i <= kMaxListEntries; ++i)
        manyIds += (i ? ",\"" : "\"") + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "\"";
    manyIds += "]}";
    const QByteArray key = "\"" + QByteArray(32, 'k').toBase64() + "\"";
    const struct {
        QByteArray payload;
        bool garbled;
    } cases[] = {
        {"not json", true},
        {"[1,2]", true},
        {"{\"type\":\"pause\",\"ids\":[", true},
        {"{\"type\":\"reboot\"}", false},
        {"{\"type\":\"command\",\"name\":\"users\"}", false},
        {"{\"urls\":[]}", false},
        {"{\"type\":\"open\",\"urls\":\"brenvo://file/1\"}", false},
        {"{\"type\":\"open\",\"urls\":[\"https://example.org/\"]}", false},
        {"{\"type\":\"open\",\"cards\":[\"relative.bcard\"]}", false},
        {"{\"type\":\"open\",\"cards\":[" + longEntry + "]}", false},
        {"{\"type\":\"card\",\"name\":" + longEntry + "}", false},
        {"{\"type\":\"card\",\"port\":65536}", false},
        {"{\"type\":\"card\",\"port\":1.5}", false},
        {"{\"type\":\"import\",\"cards\":[{\"name\":\"Ann\",\"key\":\"YWFh\"}]}", false},
        {"{\"type\":\"import\",\"cards\":[{\"key\":" + key + "}]}", false},
        {"{\"type\":\"share\",\"paths\":[\"relative.txt\"],\"users\":[]}", false},
        {"{\"type\":\"share\",\"paths\":[],\"users\":[\"not base64!\"]}", false},
        {"{\"type\":\"share\",\"paths\":[\"/a\"]}", false},
        {"{\"type\":\"pause\",\"ids\":[\"12ab\"]}", false},
        {"{\"type\":\"pause\",\"ids\":\"" + QUuid::createUuid().toByteArray() + "\"}", false},
        {"{\"type\":\"resume\",\"ids\":[],\"directory\":\"dl\"}", false},
        {"{\"type\":\"remove\"}", false},
        {manyIds, false},
    };
    for (const auto& c : cases) {
        const RequestDecoding decoded = decodeRequest(c.payload);
        EXPECT_FALSE(decoded.request) << c.payload.left(80).constData();
        EXPECT_FALSE(decoded.error.isEmpty()) << c.payload.left(80).constData();
        EXPECT_EQ(decoded.garbled, c.garbled) << c.payload.left(80).constData();
    }
    // The sender checks the same bounds before it sends.
    EXPECT_FALSE(checkRequest(RemoteRequest{PauseRequest{QList<QUuid>(kMaxListEntries + 1, QUuid::createUuid())}}).isEmpty());
    EXPECT_FALSE(checkRequest(RemoteRequest{ShareRequest{{"relative.txt"}, {}}}).isEmpty());
}

TEST(ControlAnswers, BrokenAnswersAreRefused)
{
    const QByteArray key = "\"" + QByteArray(32, 'k').toBase64() + "\"";
    const QByteArray id = "\"" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "\"";
    const QByteArray row = "[" + id + ",\"a\",1,1,0,0,0,0," + key + ",null,";
    for (const QByteArray& payload : {
             QByteArray("{}"),
             QByteArray("{\"type\":\"answer\"}"),
             QByteArray("{\"type\":\"answer\",\"kind\":\"done\""),
             QByteArray("{\"type\":\"answer\",\"kind\":\"error\",\"error\":9,\"subject\":\"\",\"detail\":\"\"}"),
             QByteArray("{\"type\":\"answer\",\"kind\":\"users\",\"users\":[{\"name\":\"Ann\",\"key\":\"YWFh\"}]}"),
             QByteArray("{\"type\":\"answer\",\"kind\":\"card\",\"me\":[]}"),
             QByteArray("{\"type\":\"answer\",\"kind\":\"import\",\"entries\":[false]}"),
             "{\"type\":\"answer\",\"kind\":\"files\",\"users\":[],\"rows\":[" + row + "null]]}x",
             "{\"type\":\"answer\",\"kind\":\"files\",\"users\":[],\"rows\":[" + row + "null,1]]}",
             "{\"type\":\"answer\",\"kind\":\"files\",\"users\":[],\"rows\":[" + row + "[\"n\",7,1,\"\"]]]}",
             "{\"type\":\"answer\",\"kind\":\"files\",\"users\":[],\"rows\":[" + row + "\"No space\"]]}",
             "{\"type\":\"answer\",\"kind\":\"records\",\"rows\":[" + QByteArray(row).replace(",0,0,0,0,", ",0,0,8,0,") + "null]],\"heldOffersProblem\":\"\"}",
             "{\"type\":\"answer\",\"kind\":\"records\",\"rows\":[" + QByteArray(row).replace(",0,0,0,0,", ",0,-1,0,0,") + "null]],\"heldOffersProblem\":\"\"}",
         })
        EXPECT_FALSE(decodeAnswer(payload).answer) << payload.constData();
}

}  // namespace
