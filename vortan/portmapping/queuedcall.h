#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <type_traits>

namespace vortan {

namespace detail {
struct QueuedCallTarget;
std::shared_ptr<QueuedCallTarget> makeQueuedCallTarget(QObject* receiver);
void postQueuedCall(const std::shared_ptr<QueuedCallTarget>& target, std::function<void()> call);
}  // namespace detail

// Wraps `call` so that invoking the result from any thread runs `call` later,
// from the event loop of receiver's thread, with copies of the arguments, and
// not at all once receiver has been destroyed (also when it goes while the
// call is being posted). Never runs `call` inside the invocation.
//
// Make it on receiver's thread. Each wrapper adds one small child object to
// receiver, so make one per request, not one per event. For example:
//   mapper.get_public_address(queuedTo<const QString&>(this, [this](const QString& a) { ... }));
template <typename... Args>
std::function<void(Args...)> queuedTo(QObject* receiver, std::type_identity_t<std::function<void(Args...)>> call)
{
    auto target = detail::makeQueuedCallTarget(receiver);
    return [target = std::move(target), call = std::move(call)](Args... args) {
        detail::postQueuedCall(target, [call, ... values = std::decay_t<Args>(args)] { call(values...); });
    };
}

}  // namespace vortan
