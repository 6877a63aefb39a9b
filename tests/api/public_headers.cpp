// Every installed header, included the way a front end includes them.
#include <vortan/controller/controller.h>
#include <vortan/controller/directories.h>
#include <vortan/diagnostics.h>
#include <vortan/records/usercard.h>
#include <vortan/util/wholefile.h>

// What a front end does with them.
int frontEnd()
{
    vortan::ControllerOptions options;
    options.keyStore = vortan::KeyStoreChoice::file;
    vortan::Controller controller(options);
    const vortan::FileRow* row = controller.findFile(QUuid());
    return row ? int(row->status) : int(controller.fileRows().size());
}
