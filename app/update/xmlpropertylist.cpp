#include "app/update/xmlpropertylist.h"

#include <QDateTime>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <vector>

// Not translated: the parser's problems are details for the log and the alert.
namespace brenvo {
namespace {

// An array or dictionary being read.
struct Container {
    explicit Container(bool isDictionary) : dictionary(isDictionary) {}
    bool dictionary = false;
    QVariantList list;
    QVariantMap map;
    QString key;
    bool haveKey = false;
};

struct Failure {
    QString what;
};

QVariant scalarValue(QStringView element, const QString& text)
{
    if (element == u"string")
        return text;
    if (element == u"integer") {
        bool ok = false;
        const qint64 n = text.trimmed().toLongLong(&ok, 10);
        if (!ok)
            throw Failure{QStringLiteral("“%1” is not an integer").arg(text.left(40))};
        return n;
    }
    if (element == u"real") {
        bool ok = false;
        const double d = text.trimmed().toDouble(&ok);
        if (!ok)
            throw Failure{QStringLiteral("“%1” is not a number").arg(text.left(40))};
        return d;
    }
    if (element == u"true" || element == u"false") {
        if (!text.trimmed().isEmpty())
            throw Failure{QStringLiteral("<%1/> has content").arg(element)};
        return element == u"true";
    }
    if (element == u"date") {
        const QDateTime when = QDateTime::fromString(text.trimmed(), Qt::ISODate);
        if (!when.isValid())
            throw Failure{QStringLiteral("“%1” is not a date").arg(text.left(40))};
        return when.toTimeZone(QTimeZone::utc());
    }
    if (element == u"data") {
        QByteArray packed = text.toLatin1();
        packed.replace(' ', "").replace('\n', "").replace('\t', "").replace('\r', "");
        const auto decoded = QByteArray::fromBase64Encoding(packed, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            throw Failure{QStringLiteral("<data> is not Base64")};
        return *decoded;
    }
    throw Failure{QStringLiteral("unknown element <%1>").arg(element.left(40))};
}

class Decoder {
public:
    Decoder(const QByteArray& bytes, int maxDepth) : m_xml(bytes), m_maxDepth(maxDepth) {}

    QVariant run()
    {
        bool inPlist = false;
        bool plistClosed = false;
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement: {
                const QString name = m_xml.name().toString();
                if (plistClosed)
                    throw Failure{QStringLiteral("content after </plist>")};
                if (!inPlist) {
                    if (name != u"plist")
                        throw Failure{QStringLiteral("the document is not a property list")};
                    inPlist = true;
                    break;
                }
                if (!m_stack.empty() && m_stack.back().dictionary && !m_stack.back().haveKey) {
                    if (name != u"key")
                        throw Failure{QStringLiteral("<%1> where a dictionary key belongs").arg(name.left(40))};
                    Container& dict = m_stack.back();
                    dict.key = text();
                    if (dict.map.contains(dict.key))
                        throw Failure{QStringLiteral("key “%1” given twice").arg(dict.key.left(40))};
                    dict.haveKey = true;
                    break;
                }
                if (name == u"dict" || name == u"array") {
                    if (int(m_stack.size()) >= m_maxDepth)
                        throw Failure{QStringLiteral("nested deeper than %1 levels").arg(m_maxDepth)};
                    checkRoomForValue();
                    m_stack.emplace_back(name == u"dict");
                    break;
                }
                if (name == u"key")
                    throw Failure{QStringLiteral("<key> where a value belongs")};
                checkRoomForValue();
                place(scalarValue(name, text()));
                break;
            }
            case QXmlStreamReader::EndElement:
                if (m_xml.name() == u"plist") {
                    plistClosed = true;
                    break;
                }
                // Only containers end here: the reader is well formed, so
                // this closes the innermost open one.
                if (m_stack.empty())
                    throw Failure{QStringLiteral("unbalanced document")};
                if (m_stack.back().dictionary && m_stack.back().haveKey)
                    throw Failure{QStringLiteral("key “%1” has no value").arg(m_stack.back().key.left(40))};
                {
                    Container done = std::move(m_stack.back());
                    m_stack.pop_back();
                    place(done.dictionary ? QVariant(std::move(done.map)) : QVariant(std::move(done.list)));
                }
                break;
            case QXmlStreamReader::Characters:
                if (!m_xml.isWhitespace())
                    throw Failure{QStringLiteral("text outside an element")};
                break;
            case QXmlStreamReader::EntityReference:
                throw Failure{QStringLiteral("unknown entity")};
            default:  // declaration, DTD, comments, processing instructions
                break;
            }
        }
        if (m_xml.hasError())
            throw Failure{m_xml.errorString()};
        if (!m_haveTop)
            throw Failure{QStringLiteral("the property list holds no value")};
        return std::move(m_top);
    }

private:
    QString text()
    {
        const QString value = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError())
            throw Failure{m_xml.errorString()};
        return value;
    }

    void checkRoomForValue() const
    {
        if (m_stack.empty() && m_haveTop)
            throw Failure{QStringLiteral("more than one value at the top level")};
    }

    void place(QVariant value)
    {
        if (m_stack.empty()) {
            m_top = std::move(value);
            m_haveTop = true;
            return;
        }
        Container& parent = m_stack.back();
        if (parent.dictionary) {
            parent.map.insert(parent.key, std::move(value));
            parent.haveKey = false;
        } else {
            parent.list.append(std::move(value));
        }
    }

    QXmlStreamReader m_xml;
    int m_maxDepth;
    std::vector<Container> m_stack;
    QVariant m_top;
    bool m_haveTop = false;
};

}  // namespace

QVariant decodeXmlPropertyList(const QByteArray& bytes, qsizetype maxBytes, int maxDepth, QString* error)
{
    auto failed = [error](const QString& why) {
        if (error)
            *error = QStringLiteral("XML property list: ") + why;
        return QVariant();
    };
    if (bytes.size() > maxBytes)
        return failed(QStringLiteral("larger than %1 bytes").arg(maxBytes));
    try {
        return Decoder(bytes, maxDepth).run();
    } catch (const Failure& f) {
        return failed(f.what);
    }
}

}  // namespace brenvo
