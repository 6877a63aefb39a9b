#pragma once

#include "app/dialogs/dialogs.h"
#include "app/cards/userdetailsview.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
class QUrl;
class QWidget;

namespace vortan {
class Controller;
}  // namespace vortan

namespace brenvo {

// What the program does with user cards and people: sharing the own card,
// importing cards, editing and removing users, and choosing recipients.
//
// Every method takes the window it acts for. With a window, dialogs and
// alerts are window-modal sheets on it; with none (the application menu,
// files handed over by the file manager or a second launch) they are
// application-modal windows that cannot be closed, minimised or resized.
// Nothing waits: dialogs are shown and the work continues when they finish.
class CardActions : public QObject {
    Q_OBJECT
public:
    // cardsDirectory: where card files handed to the mail composer, the
    // clipboard or a device are written (created when missing).
    // dialogs shows the alerts and file dialogs.
    CardActions(vortan::Controller& controller, QString cardsDirectory, Dialogs& dialogs, QObject* parent = nullptr);

    // "Share My Card…": the share dialog for the own card; confirming saves
    // the edits (editMe) and shares the card by the chosen menu entry.
    // Sharing a card without an address first asks whether to add one
    // ("Add Address…" brings the dialog back with the address field focused),
    // share anyway, or cancel.
    void shareMyCard(QWidget* window, bool focusAddress = false);
    // "Import Cards…": an open dialog for several card files.
    void importCards(QWidget* window);
    // Imports the given card files: failures alert, then the import dialog.
    void importCardFiles(QWidget* window, const QStringList& paths);
    // Cards dropped on a window's sidebar: the local files among urls.
    void importDroppedUrls(QWidget* window, const QList<QUrl>& urls);
    void editMe(QWidget* window);
    void editUser(QWidget* window, const QByteArray& key);
    // "Remove user …?" with a destructive, non-default "Remove".
    void confirmRemoveUser(QWidget* window, const QByteArray& key);

    // The recipient chooser over the controller's users with preselectedKey
    // chosen. done gets the chosen keys, or none when cancelled; it is not
    // called when the window goes away first.
    using RecipientsChosen = std::function<void(const QList<QByteArray>& keys)>;
    void chooseRecipients(QWidget* window, const QByteArray& preselectedKey, RecipientsChosen done);

signals:
    // Users were imported through a window's dialog: that window selects
    // firstKey. (The application path changes no window's selection.)
    void usersImported(QWidget* window, const QByteArray& firstKey);
    // The person confirmed the own card in its dialog (shared: in Share Card).
    void ownCardConfirmed(bool shared);

private:
    // Runs a user-details dialog; confirmed gets its result once it is closed.
    UserDetailsView* present(UserViewConfiguration configuration, QWidget* window, const QString& title,
                             std::function<void(const UserViewResult&)> confirmed);
    // This machine's addresses while the own card has none.
    QStringList ownAddressSuggestions() const;
    void confirmCardWithoutAddress(QWidget* window, std::function<void(bool addAddress)> then);
    void shareCard(QWidget* window, const vortan::User& user, UserViewResult::ShareKind kind);
    void exportCard(QWidget* window, const vortan::User& user);
    void showExportFailure(QWidget* window, const QString& description);

    vortan::Controller& m_controller;
    QString m_cardsDirectory;
    Dialogs& m_dialogs;
};

// Shows dialog as a sheet on window, or as an application-modal window that
// cannot be closed, minimised or resized when window is null. The dialog is
// deleted once closed.
void presentDialog(QDialog* dialog, QWidget* window);

// An alert (title as the text, message as the informative text, both plain
// text); then runs after it is dismissed.
void showAlert(Dialogs& dialogs, QWidget* window, const QString& title, const QString& message,
               std::function<void()> then = {});

}  // namespace brenvo
