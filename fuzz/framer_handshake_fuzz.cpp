// The peer's handshake record. Depending on the first byte the input is fed
// as it is, or becomes a record of the allowed peer with an arbitrary
// agreement key and a valid signature (any X25519 point, low-order ones
// included), or keeps the allowed key with arbitrary other fields. Whatever
// follows the record is fed as frame bytes.

#include "fuzz/framer_fuzz_keys.h"

using namespace fuzzkeys;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    const std::uint8_t mode = in.byte();
    QByteArray stream;
    switch (mode % 3) {
    case 0:
        stream = in.rest();
        break;
    case 1: {
        const auto version = static_cast<std::int32_t>(in.u16() | in.u16() << 16);
        const QByteArray agreement = in.bytes(32).leftJustified(32, '\0');
        stream = keys().peerRecord(version, agreement) + in.rest();
        break;
    }
    default:
        stream = in.bytes(4) + keys().peerKey + in.rest();
        break;
    }

    std::unique_ptr<Framer> framer = keys().makeFramer();
    int ready = 0, failed = 0;
    framer->setReadyHandler([&] {
        check(failed == 0 && ready == 0, "ready after failure or twice");
        ++ready;
    });
    framer->setFailedHandler([&] { ++failed; });
    framer->setMessageHandler([&](MessageType, const QByteArray&) { check(ready == 1 && failed == 0, "early message"); });
    framer->start();

    // Feed in pieces chosen by the mode byte's upper bits.
    const qsizetype piece = (mode >> 2) == 0 ? stream.size() : (mode >> 2);
    for (qsizetype at = 0; at < stream.size(); at += piece)
        framer->input(QByteArrayView(stream).sliced(at, std::min(piece, stream.size() - at)));

    check(failed <= 1, "failed twice");
    if (ready)
        check(keys().keyHelper->peerKey(keys().endpoints) == keys().peerKey, "endpoint entry");
    if (stream.size() < Framer::kHandshakeSize)
        check(!ready && !failed, "decided before the whole record");
    return 0;
}
