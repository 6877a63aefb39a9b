#pragma once

#include "vortan/user.h"

#include <QObject>

class QAction;
class QMenu;
class QWidget;

namespace brenvo {

// The commands on a person of the sidebar: each one named QAction, made once
// per window, enabled and worded for the selected row. The row's context
// menu shows them (the own card's commands, or another user's), and their
// keys work while the sidebar has the focus: Delete (or Backspace) removes,
// F2 edits, Ctrl+K connects or disconnects.
class PersonActions : public QObject {
    Q_OBJECT
public:
    // What the commands act on.
    enum class Row { none, me, user };

    // The keys act while owner has the focus; the menus belong to it.
    explicit PersonActions(QWidget* owner);

    // The selected row: nobody, the own card, or another user in that state.
    void setRow(Row row, vortan::User::State state = vortan::User::State::notConnected);
    Row row() const { return m_row; }
    // The selected row's context menu, the same menu and entries every
    // time; none without a row.
    QMenu* menu() const;

    // "Connect" while the user is not connected, "Disconnect" otherwise.
    QAction* const connection;
    QAction* const shareFiles;
    QAction* const shareFolder;
    // Edits the own card or the user.
    QAction* const edit;
    QAction* const shareMyCard;
    QAction* const remove;

private:
    QMenu* const m_meMenu;
    QMenu* const m_userMenu;
    Row m_row = Row::none;
};

}  // namespace brenvo
