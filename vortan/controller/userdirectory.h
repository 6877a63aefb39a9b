#pragma once

#include "vortan/user.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>
#include <optional>

namespace vortan {

// The known users and the own card, as the front ends see them. Every
// change goes through here and is announced: userChanged() for each user
// that came, went or changed, and usersChanged() or meChanged(). Nothing here is stored or sent: the engine does that.
class UserDirectory : public QObject {
    Q_OBJECT
public:
    // The length of a user's public key.
    static constexpr qsizetype kKeySize = 32;

    const QList<User>& users() const { return m_users; }
    const std::optional<User>& me() const { return m_me; }
    QList<QByteArray> keys() const;
    qsizetype indexOf(const QByteArray& key) const;
    // Valid until the next change of the users.
    const User* find(const QByteArray& key) const;

    void modify(const std::function<void(QList<User>&)>& change);
    // Changes one user; nothing when the user is not known.
    void modifyUser(const QByteArray& key, const std::function<void(User&)>& change);
    // Changes the own card; nothing before there is one.
    void modifyMe(const std::function<void(User&)>& change);
    // Replaces the own card (announced even when it is the same).
    void setMe(std::optional<User> me);

    // Adds each card whose key has kKeySize bytes (others are logged and
    // skipped), or updates name, address and port of a known user. Returns
    // whether any card was taken.
    bool add(const QList<User>& cards);
    // Updates name, address and port of a known user; returns whether it
    // was known.
    bool edit(const User& card);
    // Returns whether the user was known.
    bool remove(const QByteArray& key);
    // Appends the users not known yet (each key once); returns whether any
    // was added.
    bool addNew(const QList<User>& users);
    // Updates the own name, address and port; returns whether the port
    // changed. Nothing before there is a card.
    bool editMe(const User& card);

signals:
    void usersChanged();
    void userChanged(const QByteArray& key);
    void meChanged();

private:
    QList<User> m_users;
    std::optional<User> m_me;
};

}  // namespace vortan
