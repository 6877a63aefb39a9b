#include "control/wire.h"

#include <QtEndian>

namespace brenvo::control {

namespace {

constexpr char kMagic[4] = {'B', 'R', 'V', 'C'};

}  // namespace

QByteArray encodeFrame(const QByteArray& payload)
{
    Q_ASSERT(payload.size() <= kMaxPayload);
    QByteArray frame(kHeaderSize, '\0');
    char* header = frame.data();
    std::copy(std::begin(kMagic), std::end(kMagic), header);
    qToBigEndian<quint16>(kWireVersion, header + 4);
    qToBigEndian<quint16>(0, header + 6);
    qToBigEndian<quint32>(quint32(payload.size()), header + 8);
    frame.append(payload);
    return frame;
}

FrameReader::Status FrameReader::next()
{
    if (m_failed != Status::NeedMore)
        return m_failed;
    if (m_buffer.size() < kHeaderSize)
        return Status::NeedMore;
    const char* header = m_buffer.constData();
    const quint32 length = qFromBigEndian<quint32>(header + 8);
    if (!std::equal(std::begin(kMagic), std::end(kMagic), header)) {
        m_error = QStringLiteral("not a control message");
        return m_failed = Status::Malformed;
    }
    if (length > quint32(kMaxPayload)) {
        m_error = QStringLiteral("message of %1 bytes is over the limit of %2").arg(length).arg(kMaxPayload);
        return m_failed = Status::Malformed;
    }
    m_version = qFromBigEndian<quint16>(header + 4);
    if (m_version != kWireVersion) {
        m_error = QStringLiteral("unsupported version %1").arg(m_version);
        return m_failed = Status::UnsupportedVersion;
    }
    if (qFromBigEndian<quint16>(header + 6) != 0) {
        m_error = QStringLiteral("unknown flags in header");
        return m_failed = Status::Malformed;
    }
    if (m_buffer.size() < kHeaderSize + qsizetype(length))
        return Status::NeedMore;
    m_payload = m_buffer.mid(kHeaderSize, length);
    m_buffer.remove(0, kHeaderSize + length);
    return Status::Frame;
}

}  // namespace brenvo::control
