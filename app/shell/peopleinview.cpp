#include "app/shell/peopleinview.h"

#include "vortan/controller.h"

#include <QMetaObject>

namespace brenvo {

PeopleInView::PeopleInView(vortan::Controller& controller, QObject* parent) : QObject(parent), m_controller(controller)
{
}

void PeopleInView::addScene(SceneController& scene)
{
    m_scenes.append(&scene);
    connect(&scene, &SceneController::selectedUserChanged, this, &PeopleInView::update);
    connect(&scene, &SceneController::phaseChanged, this, &PeopleInView::update);
    update();
}

void PeopleInView::removeScene(SceneController* scene)
{
    // By address only: the scene may be gone already.
    if (m_scenes.removeOne(scene))
        update();
}

void PeopleInView::update()
{
    if (m_queued)
        return;
    m_queued = true;
    QMetaObject::invokeMethod(this, [this] {
        m_queued = false;
        QList<QByteArray> inView;
        for (const SceneController* scene : std::as_const(m_scenes)) {
            if (scene->phase() != SceneController::Phase::background && !scene->selectedUser().isEmpty()
                && !inView.contains(scene->selectedUser()))
                inView.append(scene->selectedUser());
        }
        if (inView != m_people) {
            m_people = inView;
            m_controller.setKeptConnected(inView);
        }
    }, Qt::QueuedConnection);
}

}  // namespace brenvo
