// Every installed header, included the way a front end includes them.
#include <vortan/controller.h>
#include <vortan/directories.h>
#include <vortan/folderfiles.h>
#include <vortan/diagnostics.h>
#include <vortan/propertylist.h>
#include <vortan/usercard.h>
#include <vortan/wholefile.h>

// What a front end does with them.
int frontEnd()
{
    vortan::ControllerOptions options;
    options.keyStore = vortan::KeyStoreChoice::file;
    vortan::Controller controller(options);
    const std::optional<vortan::FileRow> row = controller.file(QUuid());
    if (vortan::decodeBinaryPropertyList(QByteArray(), 8, nullptr).isValid())
        return -1;
    return row ? int(row->status) : int(controller.fileRows().size());
}
