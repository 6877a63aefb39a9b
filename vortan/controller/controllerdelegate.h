#pragma once

#include "vortan/peer/weakref.h"
#include "vortan/records/file.h"
#include "vortan/records/user.h"

#include <QList>

namespace vortan {

// Receives the controller's reports, on the main thread. Held weakly: a
// delegate that is gone is simply not called. A delegate may call back into
// the controller from inside either method.
class ControllerDelegate : public WeaklyReferenced {
public:
    virtual ~ControllerDelegate() = default;

    // A download has been completed and moved to its location.
    virtual void didFinishDownloading(const File& file) = 0;
    // A peer's list brought records not known before; user is that peer.
    virtual void didReceiveFiles(const QList<File>& files, const User& user) = 0;
};

}  // namespace vortan
