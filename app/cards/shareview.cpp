#include "app/cards/shareview.h"

#include "app/cards/cardfiles.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using vortan::User;

namespace brenvo {

namespace {
constexpr int kKeyRole = Qt::UserRole;
}

ShareView::ShareView(const QList<User>& users, const QByteArray& selectedUser, const QString& prompt,
                     QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ShareView"));
    setWindowTitle(tr("Share"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(prompt);
    label->setWordWrap(true);
    layout->addWidget(label);

    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("recipients"));
    m_list->setAccessibleName(tr("Recipients"));
    m_list->setSelectionMode(QAbstractItemView::MultiSelection);
    m_list->setMinimumWidth(250);
    label->setBuddy(m_list);
    const QIcon person = QIcon::fromTheme(QStringLiteral("user-identity"));
    for (const User& user : users) {
        auto* item = new QListWidgetItem(person, displayName(user.name), m_list);
        item->setData(kKeyRole, user.key);
        if (!selectedUser.isEmpty() && user.key == selectedUser) {
            item->setSelected(true);
            m_list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
        }
    }
    layout->addWidget(m_list);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setAccessibleName(tr("Cancel"));
    cancel->setAutoDefault(false);
    m_share = new QPushButton(tr("Share"));
    m_share->setAccessibleName(tr("Share"));
    m_share->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(m_share);
    layout->addLayout(buttons);

    const auto updateShare = [this] { m_share->setEnabled(!m_list->selectedItems().isEmpty()); };
    connect(m_list, &QListWidget::itemSelectionChanged, this, updateShare);
    updateShare();
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_share, &QPushButton::clicked, this, [this] {
        const QList<QByteArray> keys = selection();
        if (keys.isEmpty())
            return;
        finishWith(keys);
        accept();
    });
    connect(this, &QDialog::rejected, this, [this] { finishWith({}); });
}

QList<QByteArray> ShareView::selection() const
{
    QList<QByteArray> keys;
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->isSelected())
            keys.append(m_list->item(row)->data(kKeyRole).toByteArray());
    }
    return keys;
}

void ShareView::finishWith(const QList<QByteArray>& keys)
{
    if (m_dismissed)
        return;
    m_dismissed = true;
    emit dismissed(keys);
}

}  // namespace brenvo
