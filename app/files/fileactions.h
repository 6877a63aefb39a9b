#pragma once

#include "vortan/filerow.h"

#include <QList>
#include <QString>

namespace brenvo {

// What can be done to the files a command is aimed at. Computed in one pass
// that stops as soon as every flag is set. A failed transfer offers only
// Retry (and Preview and Show for an offer); a finished one neither.
struct FileActionFlags {
    // Some target is a paused download not yet finished.
    bool download = false;
    // Some target is a paused upload not yet finished.
    bool upload = false;
    // Some target is running and not finished.
    bool pause = false;
    // Some target is at its location here: an upload, or a download in place.
    bool previewAndReveal = false;
    // Some target failed (a write, a send or the final move).
    bool retry = false;

    friend bool operator==(const FileActionFlags&, const FileActionFlags&) = default;
};

FileActionFlags fileActionFlags(const QList<const vortan::FileRow*>& targets);

// The buttons at the right end of a row, left to right.
enum class RowButton {
    preview,  // the file is local
    reveal,   // the file is local
    pause,    // not finished and running
    download, // not transferred, a paused download
    upload,   // not transferred, a paused upload
    retry,    // failed: resume tries again
    done,     // finished (a download: in place): a mark, not a button
    remove,   // a download its sender withdrew: all that is left to do
};

// A download whose sender no longer offers it, not finished: it can only
// be removed.
bool isWithdrawn(const vortan::FileRow& row);

QList<RowButton> rowButtons(const vortan::FileRow& row);

// The words and the icon name of each; what a screen reader says and the
// tooltip show.
QString rowButtonText(RowButton button);
QString rowButtonIconName(RowButton button);

// Icon names of the list's other commands.
inline constexpr const char* kDeleteIconName = "edit-delete";
inline constexpr const char* kAddIconName = "list-add";
inline constexpr const char* kRemoveIconName = "list-remove";
inline constexpr const char* kAddFolderIconName = "folder-new";
inline constexpr const char* kGenericFileIconName = "text-x-generic";
inline constexpr const char* kFolderIconName = "folder";

}  // namespace brenvo

#include <QKeySequence>

namespace brenvo {

// The key that runs a row command on the selected files (none for the done mark).
QKeySequence rowButtonShortcut(RowButton button);

}  // namespace brenvo
