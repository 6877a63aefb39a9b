// Frames after a completed handshake. The input is a little program: raw
// bytes, frames sealed under the real connection key (fed in pieces, with
// or without a flipped bit), messages sent by the framer itself, and the
// end of the stream. As long as only well-formed frames have been fed, every
// one of them must come out unchanged; after a failure nothing may come out.

#include "fuzz/framer_fuzz_keys.h"

#include <deque>
#include <utility>

using namespace fuzzkeys;

namespace {

crypto::Key32 connectionKey()
{
    const QByteArray ourPublic =
        test::toQByteArray(crypto::AgreementKey::fromRaw(view(keys().ourAgreement)).publicKey());
    const auto secret = keys().peerAgreement.sharedSecret(view(ourPublic));
    const QByteArray salt("Tolvane");
    const crypto::Bytes key = crypto::hkdfSha256(*secret, view(salt), {}, 32);
    crypto::Key32 out{};
    std::copy(key.begin(), key.end(), out.begin());
    return out;
}

QByteArray seal(crypto::Aes256Gcm& cipher, std::uint32_t counter, std::int32_t type, const QByteArray& payload)
{
    std::uint8_t nonce[crypto::kNonceSize] = {};
    for (int i = 0; i < 4; ++i)
        nonce[i] = static_cast<std::uint8_t>(counter >> (8 * i));
    crypto::Bytes box;
    cipher.seal(nonce, {view(le32(type)), view(payload)}, box);
    return le32(static_cast<std::int32_t>(box.size())) + test::toQByteArray(box);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const crypto::Key32 key = connectionKey();
    static const QByteArray peerRecord = keys().peerRecord();
    crypto::Aes256Gcm cipher(key);

    std::unique_ptr<Framer> framer = keys().makeFramer();
    bool failed = false;
    bool predictable = true;  // only well-formed frames so far
    std::deque<std::pair<MessageType, QByteArray>> expected;
    QByteArray written;
    framer->setOutputHandler([&](QByteArrayView bytes) { written.append(bytes); });
    framer->setFailedHandler([&] {
        check(!failed, "failed reported twice");
        failed = true;
    });
    framer->setMessageHandler([&](MessageType type, const QByteArray& payload) {
        check(!failed, "delivery after failure");
        if (predictable) {
            check(!expected.empty(), "unexpected delivery");
            check(expected.front().first == type && expected.front().second == payload, "delivery differs");
            expected.pop_front();
        }
    });
    framer->start();
    framer->input(peerRecord);
    check(framer->state() == Framer::State::ready, "handshake with the fixed peer failed");
    written.clear();

    Input in(data, size);
    std::uint32_t counter = 0;
    while (!in.done() && framer->state() != Framer::State::failed) {
        const std::uint8_t op = in.byte();
        switch (op % 5) {
        case 0:  // raw bytes
            predictable = false;
            framer->input(in.bytes(in.byte() + 1u));
            break;
        case 1:    // a sealed frame, in pieces
        case 2: {  // the same with one bit flipped
            const auto type = static_cast<std::int32_t>(static_cast<std::int8_t>(in.byte()));
            const QByteArray payload = in.bytes(in.u16() % 4096);
            QByteArray frame = seal(cipher, counter++, type, payload);
            if (op % 5 == 2) {
                const std::uint16_t bit = in.u16() % (frame.size() * 8);
                frame[bit / 8] = static_cast<char>(frame[bit / 8] ^ (1 << (bit % 8)));
                predictable = false;
            } else if (predictable) {
                expected.emplace_back(messageTypeFromRaw(type), payload);
            }
            const qsizetype piece = in.byte() + 1;
            for (qsizetype at = 0; at < frame.size() && !failed; at += piece)
                framer->input(QByteArrayView(frame).sliced(at, std::min(piece, frame.size() - at)));
            if (predictable)
                check(expected.empty() && !failed, "well-formed frame not delivered");
            break;
        }
        case 3: {  // a message from our side, opened again with the key
            const QByteArray payload = in.bytes(in.byte());
            written.clear();
            check(framer->send(static_cast<MessageType>(in.byte() % 5), payload), "send refused when ready");
            check(written.size() == 4 + payload.size() + 32, "frame size");
            crypto::Bytes plaintext;
            check(cipher.open(view(written.mid(4)), plaintext), "own frame does not open");
            check(test::toQByteArray(plaintext).mid(4) == payload, "own frame payload");
            break;
        }
        default:  // the end of the stream: nothing more is parsed
            framer->input(in.bytes(in.byte()), true);
            check(framer->input(peerRecord) == 0, "input after the end");
            return 0;
        }
    }
    if (failed) {
        written.clear();
        check(!framer->send(MessageType::data, "x") && written.isEmpty(), "send after failure");
    }
    return 0;
}
