#pragma once

#include <QFrame>
#include <QStringList>

class QLabel;
class QToolButton;

namespace brenvo {

// A band across the top of a window that tells the person what went wrong
// in the background (a save that failed, a stored file kept aside), with a
// button to dismiss it. Hidden while there is nothing to say. The messages
// come from outside the program's own texts: shown as plain text.
class InfoBar : public QFrame {
    Q_OBJECT
public:
    explicit InfoBar(QWidget* parent = nullptr);

    // The messages to show, the latest last; none hides the bar.
    void setMessages(const QStringList& messages);
    QString text() const;

signals:
    void dismissed();

private:
    QLabel* m_icon = nullptr;
    QLabel* m_text = nullptr;
    QToolButton* m_close = nullptr;
};

}  // namespace brenvo
