#pragma once

#include "vortan/user.h"

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QString>

class QListWidget;
class QPushButton;

namespace brenvo {

// The recipient chooser: the prompt, the users to pick from (several may be
// chosen), Cancel (Escape) and the default "Share", which stays disabled
// while nothing is selected.
//
// Emits dismissed() exactly once: with the chosen keys (in list order) on
// "Share", with none on Cancel, Escape or closing.
class ShareView : public QDialog {
    Q_OBJECT
public:
    ShareView(const QList<vortan::User>& users, const QByteArray& selectedUser, const QString& prompt,
              QWidget* parent = nullptr);

    QList<QByteArray> selection() const;

signals:
    void dismissed(const QList<QByteArray>& keys);

private:
    void finishWith(const QList<QByteArray>& keys);

    QListWidget* m_list = nullptr;
    QPushButton* m_share = nullptr;
    bool m_dismissed = false;
};

}  // namespace brenvo
