#pragma once

#include <QFrame>
#include <QStringList>

class QLabel;
class QPushButton;
class QToolButton;

namespace brenvo {

// A band across the top of a window that tells the person what went wrong
// in the background (a save that failed, a stored file kept aside), with a
// button to dismiss it (and one to import a card when someone unknown
// called). Hidden while there is nothing to say. The messages
// come from outside the program's own texts: shown as plain text.
class InfoBar : public QFrame {
    Q_OBJECT
public:
    explicit InfoBar(QWidget* parent = nullptr);

    // The messages to show, the latest last; none hides the bar.
    void setMessages(const QStringList& messages);
    QString text() const;
    // Shows "Import Card…" beside the messages.
    void setImportOffered(bool offered);

signals:
    void dismissed();
    void importRequested();

private:
    QLabel* m_icon = nullptr;
    QPushButton* m_import = nullptr;
    QLabel* m_text = nullptr;
    QToolButton* m_close = nullptr;
};

}  // namespace brenvo
