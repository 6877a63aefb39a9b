#include "app/cards/cardactions.h"

#include "app/cards/addresssuggestions.h"
#include "app/cards/cardfiles.h"
#include "app/cards/shareview.h"
#include "app/cards/sharetargets.h"
#include "vortan/controller.h"
#include "vortan/usercard.h"

#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

#include <memory>
#include <optional>

namespace vortan {

namespace {

QFileDialog* cardFileDialog(QWidget* window)
{
    auto* dialog = new QFileDialog(window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Qt's own dialog: it shows the labels below, which portals ignore.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setNameFilter(CardActions::tr("Brenvo cards (*.bcard)"));
    dialog->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    return dialog;
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

void showAlert(QWidget* window, const QString& title, const QString& message, std::function<void()> then)
{
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Brenvo"), title, QMessageBox::Ok, window);
    box->setInformativeText(message);
    box->setTextFormat(Qt::PlainText);
    // Names and messages come from card files: never read them as markup.
    for (QLabel* label : box->findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    if (then)
        QObject::connect(box, &QMessageBox::finished, box, [then = std::move(then)] { then(); });
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    box->show();
}

CardActions::CardActions(Controller& controller, QString cardsDirectory, QObject* parent)
    : QObject(parent), m_controller(controller), m_cardsDirectory(std::move(cardsDirectory))
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
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Brenvo"), tr("Your card has no address"),
                                QMessageBox::NoButton, window);
    box->setObjectName(QStringLiteral("noAddressAlert"));
    box->setInformativeText(
        tr("Others can't connect to you with this card until it has an address. Add one now?"));
    QPushButton* add = box->addButton(tr("Add Address…"), QMessageBox::AcceptRole);
    QPushButton* anyway = box->addButton(tr("Share Anyway"), QMessageBox::ActionRole);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(add);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::buttonClicked, this, [add, anyway, then = std::move(then)](QAbstractButton* clicked) {
        if (clicked == add || clicked == anyway)
            then(clicked == add);
    });
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    box->show();
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
        DeviceShare::start(card.path, window, failed);
        break;
    case UserViewResult::ShareKind::exportFile:
        break;
    }
}

void CardActions::exportCard(QWidget* window, const User& user)
{
    QFileDialog* dialog = cardFileDialog(window);
    dialog->setObjectName(QStringLiteral("exportDialog"));
    dialog->setWindowTitle(tr("Share Card"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setLabelText(QFileDialog::Accept, tr("Export"));
    dialog->setLabelText(QFileDialog::FileName, tr("Export As:"));
    dialog->setDefaultSuffix(QStringLiteral("bcard"));
    dialog->selectFile(cardFileName(user.name));
    QPointer<QWidget> target(window);
    connect(dialog, &QFileDialog::fileSelected, this, [this, target, user](const QString& path) {
        if (std::optional<QString> error = writeCardFile(user, path))
            showExportFailure(target, *error);
    });
    dialog->show();
}

void CardActions::showExportFailure(QWidget* window, const QString& description)
{
    showAlert(window, tr("Failed to export file."), description);
}

void CardActions::importCards(QWidget* window)
{
    QFileDialog* dialog = cardFileDialog(window);
    dialog->setObjectName(QStringLiteral("importDialog"));
    dialog->setWindowTitle(tr("Import Cards"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setLabelText(QFileDialog::Accept, tr("Import", "accepts the file dialog"));
    QPointer<QWidget> target(window);
    connect(dialog, &QFileDialog::filesSelected, this,
            [this, target, inWindow = window != nullptr](const QStringList& paths) {
                if (!inWindow || target)
                    importCardFiles(target, paths);
            });
    dialog->show();
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
        showAlert(window, alert.title, alert.message, std::move(offer));
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
            [this](const UserViewResult& result) { m_controller.editMe(result.users.first()); });
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
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Brenvo"), tr("Remove user %1?").arg(name),
                                QMessageBox::NoButton, window);
    box->setInformativeText(tr("You will not be able to share files with %1 anymore.").arg(name));
    for (QLabel* label : box->findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    QPushButton* remove = box->addButton(tr("Remove"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    remove->setAutoDefault(false);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::buttonClicked, this, [this, remove, key](QAbstractButton* clicked) {
        if (clicked == remove)
            m_controller.removeUser(key);
    });
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    box->show();
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

}  // namespace vortan
