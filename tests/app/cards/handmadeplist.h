#pragma once

#include <QByteArray>
#include <QList>
#include <QtEndian>

#include <optional>
#include <utility>

// Writes binary property lists by hand, to make card files the library's
// encoder never would (a port out of range, a short key, deep nesting).
// At most 255 objects.
class HandmadePlist {
public:
    int string(const QByteArray& ascii) { return add(marker(0x50, ascii.size()) + ascii); }
    int data(const QByteArray& bytes) { return add(marker(0x40, bytes.size()) + bytes); }
    int integer(qint64 value)
    {
        QByteArray o(1, char(0x13));
        o.append(be(quint64(value), 8));
        return add(o);
    }
    int array(const QList<int>& refs) { return add(marker(0xA0, refs.size()) + refBytes(refs)); }
    int dict(const QList<std::pair<int, int>>& entries)
    {
        QList<int> keys, values;
        for (auto [k, v] : entries) {
            keys.append(k);
            values.append(v);
        }
        return add(marker(0xD0, entries.size()) + refBytes(keys) + refBytes(values));
    }
    // A User dict: key, name and, when given, port.
    int user(const QByteArray& key, const QByteArray& name, std::optional<qint64> port = std::nullopt)
    {
        QList<std::pair<int, int>> entries{{string("key"), data(key)}, {string("name"), string(name)}};
        if (port)
            entries.append({string("port"), integer(*port)});
        return dict(entries);
    }

    QByteArray bytes(int top) const
    {
        QByteArray out("bplist00");
        QList<quint64> offsets;
        for (const QByteArray& o : m_objects) {
            offsets.append(quint64(out.size()));
            out.append(o);
        }
        const quint64 tableOffset = quint64(out.size());
        for (quint64 offset : offsets)
            out.append(be(offset, 2));
        out.append(QByteArray(6, '\0'));
        out.append(char(2));  // offset size
        out.append(char(1));  // reference size
        out.append(be(quint64(m_objects.size()), 8));
        out.append(be(quint64(top), 8));
        out.append(be(tableOffset, 8));
        return out;
    }

private:
    static QByteArray be(quint64 value, int size)
    {
        QByteArray b(size, '\0');
        for (int i = size - 1; i >= 0; --i, value >>= 8)
            b[i] = char(value & 0xff);
        return b;
    }
    static QByteArray marker(int type, qsizetype count)
    {
        if (count < 15)
            return QByteArray(1, char(type | int(count)));
        return QByteArray(1, char(type | 0xf)) + QByteArray(1, char(0x11)) + be(quint64(count), 2);
    }
    static QByteArray refBytes(const QList<int>& refs)
    {
        QByteArray b;
        for (int r : refs)
            b.append(char(r));
        return b;
    }
    int add(const QByteArray& object)
    {
        m_objects.append(object);
        return int(m_objects.size() - 1);
    }

    QList<QByteArray> m_objects;
};
