#pragma once

#include "vortan/user.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QStringList>

class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace brenvo {

// What a user-details dialog is for.
struct UserViewConfiguration {
    enum class Kind { user, me, share, import };
    Kind kind = Kind::user;
    QList<vortan::User> users;  // at least one
    // For kind import: the users already known, so that a card for one of
    // them shows as an update of it (what changes) rather than a new user.
    QList<vortan::User> knownUsers;
    // For kinds me and share: this machine's addresses, offered to pick from
    // while the card has no address.
    QStringList addressSuggestions = {};
};

struct UserViewResult {
    // Where a shared card goes, in the order of the Share menu.
    enum class ShareKind { email, copy, device, exportFile };
    QList<vortan::User> users;  // edited, same length and order as given
    ShareKind shareKind = ShareKind::exportFile;  // kind share only
};

// Shows, edits and confirms one or more users: the header for its kind,
// Name / Address / Port / Fingerprint of the user on display, paging over
// several users, Cancel (Escape) and the confirming default button ("Update",
// "Import", "Import 2 users" or the "Share" menu).
//
// Confirming emits validated() and accepts; Cancel rejects. The dialog does
// not touch the controller.
class UserDetailsView : public QDialog {
    Q_OBJECT
public:
    explicit UserDetailsView(UserViewConfiguration configuration, QWidget* parent = nullptr);

    const QList<vortan::User>& users() const { return m_users; }
    qsizetype index() const { return m_index; }
    void showUser(qsizetype index);
    // Puts the focus on the address field (to add a missing address).
    void focusAddress();
    // Whether "Send to Device…" is offered (a device-sharing tool is there).
    static bool deviceSharingAvailable();

signals:
    void validated(const brenvo::UserViewResult& result);

private:
    void buildRows();
    QWidget* buildSuggestions(const QStringList& addresses);
    void buildButtons();
    void refresh();
    void refreshUpdateNotes();
    void confirm(UserViewResult::ShareKind shareKind);

    UserViewConfiguration::Kind m_kind;
    QList<vortan::User> m_users;
    QHash<QByteArray, vortan::User> m_known;
    qsizetype m_index = 0;

    QLineEdit* m_name = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_port = nullptr;
    QLabel* m_fingerprint = nullptr;
    QWidget* m_suggestions = nullptr;
    QFormLayout* m_form = nullptr;
    QLabel* m_updateNote = nullptr;
    QLabel* m_nameWas = nullptr;
    QLabel* m_addressWas = nullptr;
    QLabel* m_portWas = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_next = nullptr;
    QLabel* m_position = nullptr;
};

}  // namespace brenvo

Q_DECLARE_METATYPE(brenvo::UserViewResult)
