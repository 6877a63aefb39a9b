#include "vortan/keys/glibcall.h"

#include <algorithm>

namespace vortan::glib {

namespace {

// How long a cancelled call gets to deliver its callback.
constexpr std::chrono::milliseconds kCancelGrace{1000};
// Sources still pending when the calls are over are dispatched at most this often.
constexpr int kMaxDrainIterations = 100;

// Where a call's callback leaves its result. Shared between the waiting side
// and the callback, so that a callback arriving after the wait gave up still
// writes into live memory.
struct Slot {
    GAsyncResult* result = nullptr;
    ~Slot()
    {
        if (result)
            g_object_unref(result);
    }
};

void onReady(GObject*, GAsyncResult* result, gpointer userData)
{
    std::unique_ptr<std::shared_ptr<Slot>> slot(static_cast<std::shared_ptr<Slot>*>(userData));
    (*slot)->result = G_ASYNC_RESULT(g_object_ref(result));
}

gboolean onTimeout(gpointer flag)
{
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
}

}  // namespace

QString errorText(const GError* error)
{
    return error && error->message ? QString::fromUtf8(error->message) : QString();
}

BoundedCalls::BoundedCalls() : m_context(g_main_context_new()), m_cancellable(g_cancellable_new())
{
    g_main_context_push_thread_default(m_context);
}

BoundedCalls::~BoundedCalls()
{
    // Let released objects finish what they queued (signal unsubscriptions,
    // idle completions) before the context goes away.
    for (int i = 0; i < kMaxDrainIterations && g_main_context_pending(m_context); ++i)
        g_main_context_iteration(m_context, FALSE);
    g_main_context_pop_thread_default(m_context);
    g_main_context_unref(m_context);
}

bool BoundedCalls::iterateUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    bool expired = false;
    GSource* timer = g_timeout_source_new(static_cast<guint>(std::max<std::chrono::milliseconds::rep>(0, timeout.count())));
    g_source_set_callback(timer, onTimeout, &expired, nullptr);
    g_source_attach(timer, m_context);
    while (!done() && !expired)
        g_main_context_iteration(m_context, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
    return done();
}

ObjectPtr<GAsyncResult> BoundedCalls::run(const AsyncStart& start, std::chrono::milliseconds timeout,
                                          OnTimeout onTimeout)
{
    if (m_timedOut)
        return nullptr;
    auto slot = std::make_shared<Slot>();
    start(onTimeout == OnTimeout::cancel ? m_cancellable.get() : nullptr, onReady, new std::shared_ptr<Slot>(slot));
    const auto answered = [&slot] { return slot->result != nullptr; };
    if (iterateUntil(answered, timeout)) {
        GAsyncResult* result = slot->result;
        slot->result = nullptr;
        return ObjectPtr<GAsyncResult>(result);
    }
    m_timedOut = true;
    if (onTimeout == OnTimeout::abandon)
        return nullptr;
    g_cancellable_cancel(m_cancellable.get());
    // A cancelled call normally answers at once with G_IO_ERROR_CANCELLED;
    // that answer is dropped. If it does not come, the slot simply stays
    // with the callback.
    iterateUntil(answered, kCancelGrace);
    return nullptr;
}

}  // namespace vortan::glib
