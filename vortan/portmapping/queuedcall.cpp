#include "vortan/portmapping/queuedcall.h"

#include <mutex>

namespace vortan::detail {

struct QueuedCallTarget {
    std::mutex lock;
    QObject* anchor = nullptr;  // guarded by lock; null once the receiver is gone
};

namespace {

// A child of the receiver that the queued calls are delivered to. Qt deletes
// it with the receiver and then discards the calls still posted to it; its
// destructor closes the target first, under the same lock that posting takes,
// so that nothing is posted to it while or after it goes.
class QueuedCallAnchor final : public QObject {
public:
    QueuedCallAnchor(QObject* receiver, std::shared_ptr<QueuedCallTarget> target)
        : QObject(receiver), m_target(std::move(target))
    {
    }
    ~QueuedCallAnchor() override
    {
        std::lock_guard lock(m_target->lock);
        m_target->anchor = nullptr;
    }

private:
    std::shared_ptr<QueuedCallTarget> m_target;
};

}  // namespace

std::shared_ptr<QueuedCallTarget> makeQueuedCallTarget(QObject* receiver)
{
    auto target = std::make_shared<QueuedCallTarget>();
    if (receiver)
        target->anchor = new QueuedCallAnchor(receiver, target);
    return target;
}

void postQueuedCall(const std::shared_ptr<QueuedCallTarget>& target, std::function<void()> call)
{
    std::lock_guard lock(target->lock);
    if (target->anchor)
        QMetaObject::invokeMethod(target->anchor, std::move(call), Qt::QueuedConnection);
}

}  // namespace vortan::detail
