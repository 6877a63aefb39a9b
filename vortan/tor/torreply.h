#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace vortan {

// One reply of tor's control port: its status (250 for success) and its
// lines without status and separator; a data block ("250+key=" … ".") is
// joined to its line with "\n".
struct TorReply {
    int status = 0;
    QList<QByteArray> lines;

    bool ok() const { return status == 250; }
    // "key=value" lines: the value of the first with this key.
    QByteArray value(const QByteArray& key) const;
    // What tor said, for a log line or a reason (bounded, printable).
    QString text() const;
};

// Splits the bytes of the control port into replies. tor's bytes are
// untrusted: a line longer than kMaxLine or a reply longer than kMaxReply,
// or a line that is not "NNN<sep>text", ends the parse with an error.
class TorReplyParser {
public:
    static constexpr qsizetype kMaxLine = 16 * 1024;
    static constexpr qsizetype kMaxReply = 256 * 1024;

    // Takes bytes; returns the replies they complete. After an error it
    // takes nothing more.
    QList<TorReply> input(QByteArrayView bytes);
    bool failed() const { return !m_error.isEmpty(); }
    const QString& error() const { return m_error; }

private:
    bool takeLine(const QByteArray& line, QList<TorReply>& done);

    QByteArray m_buffer;
    TorReply m_reply;
    qsizetype m_replySize = 0;
    bool m_inData = false;
    QString m_error;
};

}  // namespace vortan
