#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QUuid>

namespace brenvo {

// One main window's scene state: whether it is the active window, shown or
// minimised, which user it shows and which of their files are selected. The
// window binds its sidebar and file list to it; the application finds
// windows through it (a notification's files are selected in the window
// that shows their user).
class SceneController : public QObject {
    Q_OBJECT
public:
    enum class Phase { active, inactive, background };

    using QObject::QObject;

    Phase phase() const { return m_phase; }
    void setPhase(Phase phase)
    {
        if (phase != m_phase) {
            m_phase = phase;
            emit phaseChanged(phase);
        }
    }

    // A user's key, or empty for none.
    const QByteArray& selectedUser() const { return m_selectedUser; }
    void setSelectedUser(const QByteArray& key)
    {
        if (key != m_selectedUser) {
            m_selectedUser = key;
            emit selectedUserChanged(key);
        }
    }

    const QSet<QUuid>& selectedFiles() const { return m_selectedFiles; }
    void setSelectedFiles(const QSet<QUuid>& ids)
    {
        if (ids != m_selectedFiles) {
            m_selectedFiles = ids;
            emit selectedFilesChanged(ids);
        }
    }

signals:
    void phaseChanged(brenvo::SceneController::Phase phase);
    void selectedUserChanged(const QByteArray& key);
    void selectedFilesChanged(const QSet<QUuid>& ids);

private:
    Phase m_phase = Phase::inactive;
    QByteArray m_selectedUser;
    QSet<QUuid> m_selectedFiles;
};

}  // namespace brenvo
