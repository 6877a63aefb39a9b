#include "vortan/tor/torreply.h"

namespace vortan {

QByteArray TorReply::value(const QByteArray& key) const
{
    for (const QByteArray& line : lines) {
        if (line.startsWith(key) && line.size() > key.size() && line.at(key.size()) == '=')
            return line.mid(key.size() + 1);
    }
    return {};
}

QString TorReply::text() const
{
    QString joined = QString::fromUtf8(lines.join(' ')).left(300);
    for (QChar& c : joined) {
        if (!c.isPrint())
            c = QLatin1Char(' ');
    }
    return QStringLiteral("%1 %2").arg(status).arg(joined);
}

QList<TorReply> TorReplyParser::input(QByteArrayView bytes)
{
    QList<TorReply> done;
    if (failed())
        return done;
    m_buffer.append(bytes);
    qsizetype start = 0;
    while (true) {
        const qsizetype end = m_buffer.indexOf("\r\n", start);
        if (end < 0)
            break;
        if (!takeLine(m_buffer.mid(start, end - start), done)) {
            m_buffer.clear();
            return done;
        }
        start = end + 2;
    }
    m_buffer.remove(0, start);
    if (m_buffer.size() > kMaxLine) {
        m_error = QStringLiteral("a line of tor's control port is longer than %1 bytes").arg(kMaxLine);
        m_buffer.clear();
    }
    return done;
}

bool TorReplyParser::takeLine(const QByteArray& line, QList<TorReply>& done)
{
    if (line.size() > kMaxLine) {
        m_error = QStringLiteral("a line of tor's control port is longer than %1 bytes").arg(kMaxLine);
        return false;
    }
    m_replySize += line.size();
    if (m_replySize > kMaxReply) {
        m_error = QStringLiteral("a reply of tor's control port is longer than %1 bytes").arg(kMaxReply);
        return false;
    }
    if (m_inData) {
        if (line == ".") {
            m_inData = false;
        } else {
            // Dot-stuffed lines lose their first dot.
            m_reply.lines.last().append('\n').append(line.startsWith('.') ? line.mid(1) : line);
        }
        return true;
    }
    bool numeric = false;
    const int status = line.left(3).toInt(&numeric);
    const char separator = line.size() >= 4 ? line.at(3) : ' ';
    if (line.size() < 3 || !numeric || status < 100 || status > 999
        || (separator != ' ' && separator != '-' && separator != '+')) {
        m_error = QStringLiteral("tor's control port sent a line that is not a reply");
        return false;
    }
    if (m_reply.status != 0 && m_reply.status != status) {
        m_error = QStringLiteral("tor's control port mixed two replies");
        return false;
    }
    m_reply.status = status;
    m_reply.lines.append(line.mid(4));
    if (separator == '+')
        m_inData = true;
    else if (separator == ' ') {
        done.append(std::move(m_reply));
        m_reply = TorReply();
        m_replySize = 0;
    }
    return true;
}

}  // namespace vortan
