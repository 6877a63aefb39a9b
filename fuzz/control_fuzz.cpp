// Cuts arbitrary bytes into control frames and decodes each as a request and
// as an answer. Whatever is accepted must encode back to something that
// decodes to the same value.

#include "control/messages.h"
#include "control/wire.h"

#include <cstdint>
#include <cstdlib>

using namespace brenvo::control;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks how the rest is split, as a socket might.
    const qsizetype step = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    FrameReader reader;
    for (qsizetype at = 0; at < bytes.size(); at += step) {
        reader.append(bytes.mid(at, step));
        while (reader.next() == FrameReader::Status::Frame) {
            const RequestDecoding request = decodeRequest(reader.payload());
            if (request.request && !(decodeRequest(encodeRequest(*request.request)).request == request.request))
                std::abort();
            const AnswerDecoding answer = decodeAnswer(reader.payload());
            if (answer.answer && !(decodeAnswer(encodeAnswer(*answer.answer)).answer == answer.answer))
                std::abort();
        }
    }
    return 0;
}
