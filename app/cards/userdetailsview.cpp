#include "app/cards/userdetailsview.h"

#include "app/cards/cardfiles.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

using vortan::User;

namespace brenvo {

namespace {

using Kind = UserViewConfiguration::Kind;

QString headerText(Kind kind)
{
    switch (kind) {
    case Kind::share:
        return UserDetailsView::tr("Share your card with other users in order to connect with them. "
                                   "They need to share their card with you too.");
    case Kind::import:
        return UserDetailsView::tr("You can verify and edit information before importing new users.");
    case Kind::user:
    case Kind::me:
        break;
    }
    return {};
}

QString portText(const std::optional<std::uint16_t>& port)
{
    return port ? QString::number(*port) : QString();
}

QString wasText(const QString& value)
{
    return value.isEmpty() ? UserDetailsView::tr("Was: none") : UserDetailsView::tr("Was: %1").arg(value);
}

QLineEdit* field(const QString& accessibleName, const QString& objectName)
{
    auto* edit = new QLineEdit;
    edit->setAccessibleName(accessibleName);
    edit->setObjectName(objectName);
    return edit;
}

QLabel* wasLabel(const QString& objectName)
{
    auto* label = new QLabel;
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setEnabled(false);  // drawn dimmed, as a secondary text
    return label;
}

}  // namespace

bool UserDetailsView::deviceSharingAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("kdeconnect-cli")).isEmpty();
}

UserDetailsView::UserDetailsView(UserViewConfiguration configuration, QWidget* parent)
    : QDialog(parent), m_kind(configuration.kind), m_users(std::move(configuration.users))
{
    const bool ownCard = m_kind == Kind::me || m_kind == Kind::share;
    Q_ASSERT(!m_users.isEmpty());
    for (const User& known : std::as_const(configuration.knownUsers))
        m_known.insert(known.key, known);
    setObjectName(QStringLiteral("UserDetailsView"));
    // No accessible name of its own: screen readers announce the window title,
    // which says what the dialog is for ("Import User", "Share Card", …).

    auto* layout = new QVBoxLayout(this);
    if (const QString header = headerText(m_kind); !header.isEmpty()) {
        auto* label = new QLabel(header);
        label->setObjectName(QStringLiteral("header"));
        label->setAccessibleName(header);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    m_updateNote = new QLabel;
    m_updateNote->setObjectName(QStringLiteral("updateNote"));
    m_updateNote->setWordWrap(true);
    m_updateNote->setTextFormat(Qt::PlainText);
    m_updateNote->hide();
    layout->addWidget(m_updateNote);

    buildRows();
    if (ownCard) {
        m_address->setPlaceholderText(tr("None: others can't connect to you"));
        if (!configuration.addressSuggestions.isEmpty()) {
            m_suggestions = buildSuggestions(configuration.addressSuggestions);
            m_form->insertRow(3, QString(), m_suggestions);  // right under the address field
        }
    }
    buildButtons();
    refresh();
}

void UserDetailsView::buildRows()
{
    auto* form = new QFormLayout;
    m_form = form;
    m_name = field(tr("Name"), QStringLiteral("name"));
    m_address = field(tr("Address"), QStringLiteral("address"));
    m_port = field(tr("Port"), QStringLiteral("port"));
    m_port->setInputMethodHints(Qt::ImhDigitsOnly);
    m_fingerprint = new QLabel;
    m_fingerprint->setObjectName(QStringLiteral("fingerprint"));
    // Read out as its text, the fingerprint itself.
    m_fingerprint->setAccessibleDescription(tr("Fingerprint"));
    m_fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_fingerprint->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_fingerprint->setFocusPolicy(Qt::StrongFocus);
    m_fingerprint->setWordWrap(true);
    // Two lines of eight groups for a 32-byte key.
    m_fingerprint->setMinimumWidth(m_fingerprint->fontMetrics().horizontalAdvance(QString(39, QLatin1Char('0'))) + 4);
    m_nameWas = wasLabel(QStringLiteral("previousName"));
    m_addressWas = wasLabel(QStringLiteral("previousAddress"));
    m_portWas = wasLabel(QStringLiteral("previousPort"));

    form->addRow(tr("Name:"), m_name);
    form->addRow(QString(), m_nameWas);
    form->addRow(tr("Address:"), m_address);
    form->addRow(QString(), m_addressWas);
    form->addRow(tr("Port:"), m_port);
    form->addRow(QString(), m_portWas);
    form->addRow(tr("Fingerprint:"), m_fingerprint);
    static_cast<QVBoxLayout*>(layout())->addLayout(form);

    // The edit rules: an empty name is ignored, an empty address or port (or
    // a port that is not a number in 0..65535) stores none.
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!text.isEmpty())
            m_users[m_index].name = text;
        refreshUpdateNotes();
    });
    connect(m_address, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_users[m_index].address = text.isEmpty() ? std::nullopt : std::optional<QString>(text);
        if (m_suggestions)
            m_suggestions->setVisible(text.isEmpty());
        refreshUpdateNotes();
    });
    connect(m_port, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_users[m_index].port = portFromText(text);
        refreshUpdateNotes();
    });
}

QWidget* UserDetailsView::buildSuggestions(const QStringList& addresses)
{
    auto* box = new QWidget;
    box->setObjectName(QStringLiteral("addressSuggestions"));
    auto* rows = new QVBoxLayout(box);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(tr("This machine can be reached at:"));
    label->setWordWrap(true);
    rows->addWidget(label);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    constexpr qsizetype kMaxShown = 4;
    for (const QString& address : addresses.mid(0, kMaxShown)) {
        // The text is the machine's own (an address or host name): no
        // mnemonic, nothing to read as markup.
        auto* button = new QPushButton(QString(address).replace(QLatin1Char('&'), QStringLiteral("&&")));
        button->setAutoDefault(false);
        button->setAccessibleName(tr("Use address %1").arg(address));
        button->setToolTip(Qt::convertFromPlainText(tr("Use address %1").arg(address)));
        connect(button, &QPushButton::clicked, this, [this, address] {
            m_users[m_index].address = address;
            m_address->setText(address);
            m_suggestions->hide();
            refreshUpdateNotes();
        });
        buttons->addWidget(button);
    }
    buttons->addStretch();
    rows->addLayout(buttons);
    return box;
}

void UserDetailsView::focusAddress()
{
    m_address->setFocus(Qt::OtherFocusReason);
}

void UserDetailsView::buildButtons()
{
    auto* main = static_cast<QVBoxLayout*>(layout());
    if (m_users.size() >= 2) {
        auto* paging = new QHBoxLayout;
        m_previous = new QToolButton;
        m_previous->setIcon(
            QIcon::fromTheme(QStringLiteral("go-previous"), style()->standardIcon(QStyle::SP_ArrowBack)));
        m_previous->setAccessibleName(tr("Previous User"));
        m_previous->setToolTip(tr("Previous User"));
        m_previous->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
        m_position = new QLabel;
        m_position->setObjectName(QStringLiteral("position"));
        m_next = new QToolButton;
        m_next->setIcon(
            QIcon::fromTheme(QStringLiteral("go-next"), style()->standardIcon(QStyle::SP_ArrowForward)));
        m_next->setAccessibleName(tr("Next User"));
        m_next->setToolTip(tr("Next User"));
        m_next->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
        paging->addStretch();
        paging->addWidget(m_previous);
        paging->addWidget(m_position);
        paging->addWidget(m_next);
        paging->addStretch();
        main->addLayout(paging);
        connect(m_previous, &QToolButton::clicked, this, [this] { showUser(m_index - 1); });
        connect(m_next, &QToolButton::clicked, this, [this] { showUser(m_index + 1); });
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setAccessibleName(cancel->text());
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);

    auto* confirmButton = new QPushButton;
    confirmButton->setObjectName(QStringLiteral("confirm"));
    switch (m_kind) {
    case Kind::user:
    case Kind::me:
        confirmButton->setText(tr("Update", "saves the edited card"));
        break;
    case Kind::import:
        confirmButton->setText(m_users.size() >= 2 ? tr("Import %n users", nullptr, int(m_users.size()))
                                                   : tr("Import", "imports the shown user"));
        break;
    case Kind::share: {
        confirmButton->setText(tr("Share"));
        auto* menu = new QMenu(confirmButton);
        menu->setObjectName(QStringLiteral("shareMenu"));
        const auto add = [&](const QString& icon, const QString& text, UserViewResult::ShareKind kind) {
            QAction* action = menu->addAction(QIcon::fromTheme(icon), text);
            connect(action, &QAction::triggered, this, [this, kind] { confirm(kind); });
        };
        using ShareKind = UserViewResult::ShareKind;
        add(QStringLiteral("mail-message-new"), tr("Email…"), ShareKind::email);
        add(QStringLiteral("edit-copy"), tr("Copy"), ShareKind::copy);
        if (deviceSharingAvailable())
            add(QStringLiteral("smartphone"), tr("Send to Device…"), ShareKind::device);
        add(QStringLiteral("folder-download"), tr("Export File…"), ShareKind::exportFile);
        confirmButton->setMenu(menu);
        break;
    }
    }
    confirmButton->setAccessibleName(confirmButton->text());
    confirmButton->setDefault(true);
    if (m_kind != Kind::share)
        connect(confirmButton, &QPushButton::clicked, this, [this] { confirm(UserViewResult::ShareKind::exportFile); });
    buttons->addWidget(confirmButton);
    main->addLayout(buttons);
}

void UserDetailsView::showUser(qsizetype index)
{
    if (index < 0 || index >= m_users.size() || index == m_index)
        return;
    m_index = index;
    refresh();
}

void UserDetailsView::refresh()
{
    const User& user = m_users[m_index];
    m_name->setText(user.name);
    m_address->setText(user.address.value_or(QString()));
    if (m_suggestions)
        m_suggestions->setVisible(!user.address || user.address->isEmpty());
    m_port->setText(portText(user.port));
    m_fingerprint->setText(keyFingerprint(user.key));
    if (m_position) {
        m_position->setText(tr("%L1 of %L2", "the user shown, of those imported").arg(m_index + 1).arg(m_users.size()));
        m_position->setAccessibleName(m_position->text());
        m_previous->setEnabled(m_index > 0);
        m_next->setEnabled(m_index < m_users.size() - 1);
    }
    refreshUpdateNotes();
}

void UserDetailsView::refreshUpdateNotes()
{
    const User& user = m_users[m_index];
    const auto known = m_kind == Kind::import ? m_known.constFind(user.key) : m_known.constEnd();
    const bool update = known != m_known.constEnd();
    m_updateNote->setVisible(update);
    const auto showWas = [&](QLabel* label, bool differs, const QString& old) {
        label->setVisible(update && differs);
        label->setText(wasText(displayName(old)));
    };
    if (update) {
        m_updateNote->setText(tr("You already have this user as “%1”: importing updates it.")
                                  .arg(displayName(known->name)));
        m_updateNote->setAccessibleName(m_updateNote->text());
        showWas(m_nameWas, known->name != user.name, known->name);
        showWas(m_addressWas, known->address != user.address, known->address.value_or(QString()));
        showWas(m_portWas, known->port != user.port, portText(known->port));
    } else {
        showWas(m_nameWas, false, {});
        showWas(m_addressWas, false, {});
        showWas(m_portWas, false, {});
    }
}

void UserDetailsView::confirm(UserViewResult::ShareKind shareKind)
{
    emit validated(UserViewResult{m_users, shareKind});
    accept();
}

}  // namespace brenvo
