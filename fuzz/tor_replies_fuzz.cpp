// Cuts arbitrary bytes into pieces, as tor's control socket might deliver
// them, and splits them into replies. Whatever comes out must be a reply as
// the protocol has them, and within the parser's bounds.

#include "vortan/tor/torreply.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

using namespace vortan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype step = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    TorReplyParser parser;
    for (qsizetype at = 0; at < bytes.size() && !parser.failed(); at += step) {
        for (const TorReply& reply : parser.input(QByteArrayView(bytes.constData() + at, std::min(step, bytes.size() - at)))) {
            qsizetype total = 0;
            for (const QByteArray& line : reply.lines)
                total += line.size();
            if (reply.status < 100 || reply.status > 999 || reply.lines.isEmpty() || total > TorReplyParser::kMaxReply + 2 * reply.lines.size())
                std::abort();
            (void)reply.text();
            (void)reply.value("ServiceID");
        }
    }
    return 0;
}
