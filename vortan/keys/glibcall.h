#pragma once

// Owning pointers for GLib objects, and asynchronous GLib calls waited for
// with a bound. Used only inside the library (it needs the GLib headers).

#include <QString>

// Qt's "signals" keyword would break GLib's headers.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <chrono>
#include <functional>
#include <memory>

namespace vortan::glib {

struct ObjectUnref {
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <class T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct ErrorFree {
    void operator()(GError* error) const
    {
        if (error)
            g_error_free(error);
    }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct HashTableUnref {
    void operator()(GHashTable* table) const
    {
        if (table)
            g_hash_table_unref(table);
    }
};
using HashTablePtr = std::unique_ptr<GHashTable, HashTableUnref>;

// A list of GObjects (as libsecret returns them); frees the list and its elements.
struct ObjectListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using ObjectListPtr = std::unique_ptr<GList, ObjectListFree>;

QString errorText(const GError* error);

// Starts one asynchronous call: start(cancellable, callback, userData).
using AsyncStart = std::function<void(GCancellable*, GAsyncReadyCallback, gpointer)>;

// What becomes of a call that has not answered in time.
enum class OnTimeout {
    // Cancelled; its callback is then waited for a short while more, so that
    // it does not outlive the objects it uses.
    cancel,
    // Left running and never looked at again (it gets no cancellable). For
    // calls whose cancellation does harm elsewhere: dismissing a pending
    // unlock prompt makes gnome-keyring-daemon 42 abort. The call's objects
    // stay alive until the process ends.
    abandon,
};

// A private main context, made the calling thread's default for the life of
// this object, on which asynchronous calls run one at a time, each waited for
// at most a given time. Create objects that take part in the calls after this
// one, so that they are released while the context is still the thread's
// default.
class BoundedCalls {
public:
    BoundedCalls();
    ~BoundedCalls();
    BoundedCalls(const BoundedCalls&) = delete;
    BoundedCalls& operator=(const BoundedCalls&) = delete;

    // The result of the call to pass to its finish function, or nothing when
    // the call did not complete within timeout. timedOut() is true then and
    // stays true: no further call is started.
    ObjectPtr<GAsyncResult> run(const AsyncStart& start, std::chrono::milliseconds timeout,
                                OnTimeout onTimeout = OnTimeout::cancel);
    bool timedOut() const { return m_timedOut; }

private:
    // Iterates the context until done() or the timeout; false on timeout.
    bool iterateUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    GMainContext* m_context;
    ObjectPtr<GCancellable> m_cancellable;
    bool m_timedOut = false;
};

}  // namespace vortan::glib
