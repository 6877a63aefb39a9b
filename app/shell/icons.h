#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace brenvo {

// The program's symbols as freedesktop icon names.
namespace icons {
inline const QString person = QStringLiteral("user-identity");
inline const QString edit = QStringLiteral("document-edit");
inline const QString share = QStringLiteral("document-send");
inline const QString document = QStringLiteral("text-x-generic");
inline const QString preview = QStringLiteral("document-preview");
inline const QString reveal = QStringLiteral("folder-open");
inline const QString pause = QStringLiteral("media-playback-pause");
inline const QString download = QStringLiteral("folder-download");
inline const QString upload = QStringLiteral("go-up");
inline const QString done = QStringLiteral("emblem-success");
inline const QString add = QStringLiteral("list-add");
inline const QString folder = QStringLiteral("folder-new");
inline const QString remove = QStringLiteral("list-remove");
inline const QString erase = QStringLiteral("edit-delete");
inline const QString previous = QStringLiteral("go-previous");
inline const QString next = QStringLiteral("go-next");
inline const QString application = QStringLiteral("com.halvinor.brenvo");

// Every name above but the application's own (installed with the program).
QStringList themed();
}  // namespace icons

// Uses the desktop's icon theme, or Breeze where there is none (a bare
// session or Xvfb, where Qt reports "hicolor" or nothing).
void chooseIconTheme();

// The program's own icon: the installed one, else the copy built in.
QIcon applicationIcon();

// The themed icon; never blank: a missing name falls back to the generic
// document icon.
QIcon themeIcon(const QString& name);

}  // namespace brenvo
