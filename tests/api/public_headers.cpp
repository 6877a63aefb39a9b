// Every installed header, included the way a front end includes them.
#include <vortan/controller/controller.h>
#include <vortan/controller/directories.h>
#include <vortan/diagnostics.h>
#include <vortan/plist/propertylist.h>
#include <vortan/records/usercard.h>
#include <vortan/util/wholefile.h>

// What a front end does with them.
int frontEnd()
{
    vortan::ControllerOptions options;
    options.keyStore = vortan::KeyStoreChoice::file;
    vortan::Controller controller(options);
    const vortan::FileRow* row = controller.findFile(QUuid());
    if (vortan::decodeBinaryPropertyList(QByteArray(), 8, nullptr).isValid())
        return -1;
    return row ? int(row->status) : int(controller.fileRows().size());
}
