#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace brenvo::control {

// One message on the control socket:
//   "BRVC"            4 bytes, magic
//   version           2 bytes, big-endian (kWireVersion)
//   flags             2 bytes, zero (reserved)
//   length            4 bytes, big-endian, of the payload, at most kMaxPayload
//   payload           a UTF-8 JSON object (see messages.h)
// Bytes in, frames out; no sockets here.
inline constexpr quint16 kWireVersion = 1;
inline constexpr qsizetype kHeaderSize = 12;
inline constexpr qsizetype kMaxPayload = 1024 * 1024;

// The frame of payload at the current version.
QByteArray encodeFrame(const QByteArray& payload);

// Cuts frames out of a byte stream. Never holds more than one header and
// kMaxPayload bytes beyond what it was given; a bad header is reported as
// soon as its 12 bytes are in, before any payload is awaited.
class FrameReader {
public:
    enum class Status {
        NeedMore,            // no complete frame yet
        Frame,               // payload() holds the next frame's payload
        UnsupportedVersion,  // well-formed header of another version (version())
        Malformed,           // wrong magic, flags or length: the stream cannot continue
    };

    void append(const QByteArray& bytes) { m_buffer.append(bytes); }
    // Looks for the next frame; after an error the reader stays in it.
    Status next();

    const QByteArray& payload() const { return m_payload; }
    quint16 version() const { return m_version; }
    const QString& error() const { return m_error; }
    // Whether part of a frame has arrived but not all of it.
    bool hasPartialFrame() const { return !m_buffer.isEmpty(); }

private:
    QByteArray m_buffer;
    QByteArray m_payload;
    quint16 m_version = 0;
    QString m_error;
    Status m_failed = Status::NeedMore;
};

}  // namespace brenvo::control
