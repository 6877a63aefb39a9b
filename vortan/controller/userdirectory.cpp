#include "vortan/controller/userdirectory.h"

#include "vortan/log.h"

#include <QSet>

#include <algorithm>

namespace vortan {

QList<QByteArray> UserDirectory::keys() const
{
    QList<QByteArray> keys;
    keys.reserve(m_users.size());
    for (const User& user : m_users)
        keys.append(user.key);
    return keys;
}

qsizetype UserDirectory::indexOf(const QByteArray& key) const
{
    for (qsizetype i = 0; i < m_users.size(); ++i) {
        if (m_users[i].key == key)
            return i;
    }
    return -1;
}

const User* UserDirectory::find(const QByteArray& key) const
{
    const qsizetype index = indexOf(key);
    return index < 0 ? nullptr : &m_users[index];
}

void UserDirectory::modify(const std::function<void(QList<User>&)>& change)
{
    const QList<User> before = m_users;
    change(m_users);
    // Each user that came, went or changed, by key.
    QSet<QByteArray> seen;
    for (const User& user : std::as_const(m_users)) {
        seen.insert(user.key);
        const auto old = std::find_if(before.cbegin(), before.cend(), [&](const User& u) { return u.key == user.key; });
        if (old == before.cend() || !(*old == user))
            emit userChanged(user.key);
    }
    for (const User& user : before) {
        if (!seen.contains(user.key))
            emit userChanged(user.key);
    }
    emit usersChanged();
}

void UserDirectory::modifyUser(const QByteArray& key, const std::function<void(User&)>& change)
{
    const qsizetype index = indexOf(key);
    if (index < 0)
        return;
    modify([&](QList<User>& users) { change(users[index]); });
}

void UserDirectory::modifyMe(const std::function<void(User&)>& change)
{
    if (!m_me)
        return;
    change(*m_me);
    emit meChanged();
}

void UserDirectory::setMe(std::optional<User> me)
{
    m_me = std::move(me);
    emit meChanged();
}

bool UserDirectory::add(const QList<User>& cards)
{
    bool changed = false;
    for (const User& entry : cards) {
        if (entry.key.size() != kKeySize) {
            logWarning(lcController(), QStringLiteral("Ignored user %1: the key has %2 bytes, not %3")
                                           .arg(entry.name)
                                           .arg(entry.key.size())
                                           .arg(kKeySize));
            continue;
        }
        changed = true;
        if (!edit(entry)) {
            User added(entry.name, entry.address, entry.port, entry.key);
            modify([&](QList<User>& list) { list.append(std::move(added)); });
        }
    }
    return changed;
}

bool UserDirectory::edit(const User& card)
{
    if (indexOf(card.key) < 0)
        return false;
    modifyUser(card.key, [&](User& u) {
        u.name = card.name;
        u.address = card.address;
        u.port = card.port;
    });
    return true;
}

bool UserDirectory::remove(const QByteArray& key)
{
    const qsizetype index = indexOf(key);
    if (index < 0)
        return false;
    modify([&](QList<User>& users) { users.removeAt(index); });
    return true;
}

bool UserDirectory::addNew(const QList<User>& users)
{
    QList<User> added;
    for (const User& user : users) {
        if (indexOf(user.key) >= 0)
            continue;
        if (std::any_of(added.cbegin(), added.cend(), [&](const User& u) { return u.key == user.key; }))
            continue;
        added.append(user);
    }
    if (added.isEmpty())
        return false;
    modify([&](QList<User>& list) { list.append(added); });
    return true;
}

bool UserDirectory::editMe(const User& card)
{
    if (!m_me)
        return false;
    const bool portChanged = card.port != m_me->port;
    modifyMe([&](User& me) {
        me.name = card.name;
        me.address = card.address;
        me.port = card.port;
    });
    return portChanged;
}

}  // namespace vortan
