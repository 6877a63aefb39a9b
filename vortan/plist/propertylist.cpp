// The binary property-list reader for front ends, in Qt's types.

#include "vortan/propertylist.h"

#include "vortan/plist/value.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vortan {
namespace {

// Seconds from the Unix epoch to 2001-01-01 00:00:00 UTC.
constexpr qint64 kReferenceDateOffset = 978307200;

QVariant scalar(const plist::Value& value)
{
    if (const bool* b = value.as<bool>())
        return *b;
    if (const std::int64_t* i = value.as<std::int64_t>())
        return qint64{*i};
    if (const double* d = value.as<double>())
        return *d;
    if (const std::string* s = value.as<std::string>())
        return QString::fromStdString(*s);
    if (const plist::Data* d = value.as<plist::Data>())
        return QByteArray(reinterpret_cast<const char*>(d->bytes.data()), qsizetype(d->bytes.size()));
    if (const plist::Date* d = value.as<plist::Date>()) {
        // Beyond a few million years QDateTime has no answer: invalid.
        const double ms = (d->seconds + double(kReferenceDateOffset)) * 1000.0;
        if (!std::isfinite(ms) || std::fabs(ms) > 1e17)
            return QDateTime();
        return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(ms)), QTimeZone::utc());
    }
    return QVariant();
}

// Converts with an explicit stack: the reader has bounded the nesting, and
// this walk does not add recursion of its own.
QVariant convert(const plist::Value& top)
{
    struct Frame {
        explicit Frame(const plist::Value* v) : value(v) {}
        const plist::Value* value;
        std::size_t next = 0;
        QVariantList list;
        QVariantMap map;
    };
    auto isContainer = [](const plist::Value& v) { return v.is<plist::Array>() || v.is<plist::Dictionary>(); };
    auto count = [](const plist::Value& v) {
        if (const auto* a = v.as<plist::Array>())
            return a->size();
        return v.as<plist::Dictionary>()->size();
    };
    if (!isContainer(top))
        return scalar(top);

    std::vector<Frame> stack;
    stack.emplace_back(&top);
    QVariant finished;
    for (;;) {
        Frame& frame = stack.back();
        if (finished.isValid() || frame.next < count(*frame.value)) {
            const plist::Value* child = nullptr;
            const std::string* key = nullptr;
            if (const auto* a = frame.value->as<plist::Array>()) {
                child = &(*a)[frame.next];
            } else {
                const auto& entry = (*frame.value->as<plist::Dictionary>())[frame.next];
                key = &entry.first;
                child = &entry.second;
            }
            QVariant converted;
            if (finished.isValid()) {
                converted = std::move(finished);
                finished = QVariant();
            } else if (isContainer(*child)) {
                stack.emplace_back(child);  // invalidates frame
                continue;
            } else {
                converted = scalar(*child);
            }
            if (key)
                frame.map.insert(QString::fromStdString(*key), converted);
            else
                frame.list.append(converted);
            ++frame.next;
            continue;
        }
        finished = frame.value->is<plist::Array>() ? QVariant(std::move(frame.list)) : QVariant(std::move(frame.map));
        stack.pop_back();
        if (stack.empty())
            return finished;
    }
}

}  // namespace

QVariant decodeBinaryPropertyList(const QByteArray& bytes, int maxDepth, QString* error)
{
    try {
        plist::ReadLimits limits;
        limits.maxDepth = std::size_t(std::clamp(maxDepth, 1, 64));
        const plist::Value value =
            plist::read(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()), limits);
        return convert(value);
    } catch (const plist::FormatError& e) {
        if (error)
            *error = QString::fromStdString(e.what());
    } catch (const std::bad_alloc&) {
        if (error)
            *error = QStringLiteral("property list: out of memory");
    }
    return QVariant();
}

}  // namespace vortan
