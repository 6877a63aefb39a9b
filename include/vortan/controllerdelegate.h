#pragma once

#include "vortan/filerow.h"
#include "vortan/weakref.h"
#include "vortan/user.h"

#include <QList>

namespace vortan {

// Receives the controller's reports, on the main thread. Held weakly: a
// delegate that is gone is simply not called. A delegate may call back into
// the controller from inside either method. The records named are already in
// the controller's published rows.
class ControllerDelegate : public WeaklyReferenced {
public:
    virtual ~ControllerDelegate() = default;

    // A download has been completed and moved to its location.
    virtual void didFinishDownloading(const FileRow& file) = 0;
    // A peer's list brought records not known before; user is that peer.
    virtual void didReceiveFiles(const QList<FileRow>& files, const User& user) = 0;
};

}  // namespace vortan
