#pragma once

#include "app/shell/scenecontroller.h"

#include <QByteArray>
#include <QList>
#include <QObject>

namespace vortan {
class Controller;
}

namespace brenvo {

// Keeps the people shown in windows on screen connected: each one is called,
// work or not, and called again while in view, so that their state says
// whether they are there. Windows' scenes come and go with the windows.
class PeopleInView : public QObject {
    Q_OBJECT
public:
    explicit PeopleInView(vortan::Controller& controller, QObject* parent = nullptr);

    void addScene(SceneController& scene);
    void removeScene(SceneController* scene);
    const QList<QByteArray>& people() const { return m_people; }

private:
    // Once the selection's signals are through: a call changes the user at
    // once, and the views redraw.
    void update();

    vortan::Controller& m_controller;
    QList<SceneController*> m_scenes;
    QList<QByteArray> m_people;  // selected in a window on screen
    bool m_queued = false;
};

}  // namespace brenvo
