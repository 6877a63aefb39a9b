#include "app/cards/cardactions.h"

#include "app/cards/addresssuggestions.h"
#include "app/cards/cardfiles.h"
#include "app/cards/shareview.h"
#include "app/cards/sharetargets.h"
#include "vortan/controller.h"
#include "vortan/usercard.h"

#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

#include <memory>
#include <optional>

using vortan::Controller;
using vortan::Reachability;
using vortan::User;
using vortan::encodeCard;

namespace brenvo {

namespace {

// Qt's own dialog: it shows the labels, which portals ignore.
FileDialogOptions cardFileOptions(const QString& title)
{
    FileDialogOptions options;
    options.title = title;
    options.qtDialog = true;
    options.nameFilter = CardActions::tr("Brenvo cards (*.bcard)");
    return options;
}

}  // namespace

void presentDialog(QDialog* dialog, QWidget* window)
{
    Q_ASSERT(dialog->parentWidget() == window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (window) {
        dialog->open();  // window-modal
        return;
    }
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    if (dialog->layout())
        dialog->layout()->setSizeConstraint(QLayout::SetFixedSize);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
}

void showAlert(Dialogs& dialogs, QWidget* window, const QString& title, const QString& message,
               std::function<void()> then)
{
    dialogs.tell(window, Alert{Alert::Kind::warning, CardActions::tr("Brenvo"), title, message, {}}, std::move(then));
}

CardActions::CardActions(Controller& controller, QString cardsDirectory, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_controller(controller), m_cardsDirectory(std::move(cardsDirectory)), m_dialogs(dialogs)
{
}

UserDetailsView* CardActions::present(UserViewConfiguration configuration, QWidget* window, const QString& title,
                                      std::function<void(const UserViewResult&)> confirmed)
{
    auto* view = new UserDetailsView(std::move(configuration), window);
    view->setWindowTitle(title);
    // Acts once the dialog is gone, so that what follows (a save dialog, an
    // alert) is not stacked on it.
    auto result = std::make_shared<std::optional<UserViewResult>>();
    connect(view, &UserDetailsView::validated, view, [result](const UserViewResult& r) { *result = r; });
    connect(view, &QDialog::finished, this, [result, confirmed = std::move(confirmed)] {
        if (*result)
            confirmed(**result);
    });
    presentDialog(view, window);
    return view;
}

QStringList CardActions::ownAddressSuggestions() const
{
    const std::optional<User>& me = m_controller.me();
    if (me && me->address && !me->address->isEmpty())
        return {};
    const Reachability& reach = m_controller.reachability();
    return machineAddresses(reach.router == Reachability::Router::forwarded ? reach.externalAddress : QString());
}

void CardActions::shareMyCard(QWidget* window, bool focusAddress)
{
    const std::optional<User>& me = m_controller.me();
    if (!me)
        return;
    QPointer<QWidget> target(window);
    UserViewConfiguration configuration{UserViewConfiguration::Kind::share, {*me}, {}, ownAddressSuggestions()};
    UserDetailsView* view = present(std::move(configuration), window, tr("Share Card"),
            [this, target, inWindow = window != nullptr](const UserViewResult& result) {
                if (inWindow && !target)
                    return;
                m_controller.editMe(result.users.first());
                emit ownCardConfirmed(true);
                const std::optional<User>& me = m_controller.me();
                const User card = me ? *me : result.users.first();
                if (card.address && !card.address->trimmed().isEmpty()) {
                    shareCard(target, card, result.shareKind);
                    return;
                }
                confirmCardWithoutAddress(target, [this, target, inWindow, card, kind = result.shareKind](bool add) {
                    if (inWindow && !target)
                        return;
                    if (add)
                        shareMyCard(target, true);
                    else
                        shareCard(target, card, kind);
                });
            });
    if (focusAddress)
        view->focusAddress();
}

void CardActions::confirmCardWithoutAddress(QWidget* window, std::function<void(bool addAddress)> then)
{
    Question question;
    question.alert = {Alert::Kind::warning, tr("Brenvo"), tr("Your card has no address"),
                      tr("Others can't connect to you with this card until it has an address. Add one now?"), {}};
    question.buttons = {{AlertButton::Role::accept, tr("Add Address…")},
                        {AlertButton::Role::action, tr("Share Anyway")},
                        {AlertButton::Role::cancel, {}}};
    question.defaultButton = 0;
    m_dialogs.ask(window, question, [then = std::move(then)](int button) {
        if (button == 0 || button == 1)
            then(button == 0);
    });
}

void CardActions::shareCard(QWidget* window, const User& user, UserViewResult::ShareKind kind)
{
    if (kind == UserViewResult::ShareKind::exportFile) {
        exportCard(window, user);
        return;
    }
    const WrittenCard card = writeCardInto(user, m_cardsDirectory);
    if (!card.error.isEmpty()) {
        showExportFailure(window, card.error);
        return;
    }
    QPointer<QWidget> target(window);
    const auto failed = [this, target, inWindow = window != nullptr](const QString& description) {
        if (!inWindow || target)
            showExportFailure(target, description);
    };
    switch (kind) {
    case UserViewResult::ShareKind::email:
        shareByEmail(card.path, failed);
        break;
    case UserViewResult::ShareKind::copy:
        copyCardToClipboard(card.path, encodeCard(user));
        break;
    case UserViewResult::ShareKind::device:
        DeviceShare::start(card.path, window, m_dialogs, failed);
        break;
    case UserViewResult::ShareKind::exportFile:
        break;
    }
}

void CardActions::exportCard(QWidget* window, const User& user)
{
    FileDialogOptions options = cardFileOptions(tr("Share Card"));
    options.acceptLabel = tr("Export");
    options.fileNameLabel = tr("Export As:");
    options.defaultSuffix = QStringLiteral("bcard");
    options.fileName = cardFileName(user.name);
    QPointer<QWidget> target(window);
    m_dialogs.saveFile(window, options, [self = QPointer(this), target, user](const std::optional<QString>& path) {
        if (!self || !path)
            return;
        if (std::optional<QString> error = writeCardFile(user, *path))
            self->showExportFailure(target, *error);
    });
}

void CardActions::showExportFailure(QWidget* window, const QString& description)
{
    showAlert(m_dialogs, window, tr("Failed to export file."), description);
}

void CardActions::importCards(QWidget* window)
{
    FileDialogOptions options = cardFileOptions(tr("Import Cards"));
    options.acceptLabel = tr("Import", "accepts the file dialog");
    QPointer<QWidget> target(window);
    m_dialogs.openFiles(window, options,
                        [self = QPointer(this), target, inWindow = window != nullptr](const QStringList& paths) {
                            if (self && !paths.isEmpty() && (!inWindow || target))
                                self->importCardFiles(target, paths);
                        });
}

void CardActions::importCardFiles(QWidget* window, const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const std::optional<User>& me = m_controller.me();
    CardBatch batch = readCardFiles(paths, me ? me->key : QByteArray());
    QPointer<QWidget> target(window);
    const bool inWindow = window != nullptr;
    auto offer = [this, target, inWindow, users = std::move(batch.users)] {
        if (users.isEmpty() || (inWindow && !target))
            return;
        const QString title = users.size() == 1 ? tr("Import User") : tr("Import Users");
        present({UserViewConfiguration::Kind::import, users, m_controller.users()}, target, title,
                [this, target, inWindow](const UserViewResult& result) {
                    m_controller.addUsers(result.users);
                    if (inWindow && target)
                        emit usersImported(target, result.users.first().key);
                });
    };
    const AlertText alert = importFailureAlert(batch.failures);
    if (alert.title.isEmpty())
        offer();
    else
        showAlert(m_dialogs, window, alert.title, alert.message, std::move(offer));
}

void CardActions::importDroppedUrls(QWidget* window, const QList<QUrl>& urls)
{
    QStringList paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    importCardFiles(window, paths);
}

void CardActions::editMe(QWidget* window)
{
    const std::optional<User>& me = m_controller.me();
    if (!me)
        return;
    present({UserViewConfiguration::Kind::me, {*me}, {}, ownAddressSuggestions()}, window, tr("My Card"),
            [this](const UserViewResult& result) {
                m_controller.editMe(result.users.first());
                emit ownCardConfirmed(false);
            });
}

void CardActions::editUser(QWidget* window, const QByteArray& key)
{
    const std::optional<User> user = m_controller.user(key);
    if (!user)
        return;
    present({UserViewConfiguration::Kind::user, {*user}, {}}, window, tr("Edit User"),
            [this](const UserViewResult& result) { m_controller.editUsers(result.users); });
}

void CardActions::confirmRemoveUser(QWidget* window, const QByteArray& key)
{
    const std::optional<User> user = m_controller.user(key);
    if (!user)
        return;
    const QString name = displayName(user->name);
    Question question;
    question.alert = {Alert::Kind::warning, tr("Brenvo"), tr("Remove user %1?").arg(name),
                      tr("You will not be able to share files with %1 anymore.").arg(name), {}};
    question.buttons = {{AlertButton::Role::destructive, tr("Remove")}, {AlertButton::Role::cancel, {}}};
    question.defaultButton = 1;
    m_dialogs.ask(window, question, [self = QPointer(this), key](int button) {
        if (self && button == 0)
            self->m_controller.removeUser(key);
    });
}

void CardActions::chooseRecipients(QWidget* window, const QByteArray& preselectedKey, RecipientsChosen done)
{
    auto* view = new ShareView(m_controller.users(), preselectedKey, tr("Select the people to share with"), window);
    connect(view, &ShareView::dismissed, this, [done = std::move(done)](const QList<QByteArray>& keys) {
        if (done)
            done(keys);
    });
    presentDialog(view, window);
}

}  // namespace brenvo
