#pragma once

#include <QWidget>

namespace brenvo {

// What a window shows while there is nobody to share with: how to start,
// with the two card commands.
class WelcomeView : public QWidget {
    Q_OBJECT
public:
    explicit WelcomeView(QWidget* parent = nullptr);

signals:
    void exportCardRequested();
    void importCardRequested();
};

}  // namespace brenvo
