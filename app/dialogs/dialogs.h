#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace brenvo {

// What an alert says: the window title, the text in bold, the informative
// text below it and the details behind "Show Details…". Every part is shown
// as plain text: names, paths and errors from outside are never markup.
struct Alert {
    enum class Kind { information, warning, critical };
    Kind kind = Kind::warning;
    QString title;
    QString text;
    QString informativeText;
    QString detailedText;
};

// A button of a question.
struct AlertButton {
    enum class Role { accept, action, destructive, cancel };
    Role role = Role::accept;
    // Empty: the desktop's own "OK" (accept) or "Cancel" (cancel).
    QString text;
};

struct Question {
    Alert alert;
    QList<AlertButton> buttons;
    // The index of the button Return presses; -1: the desktop's choice. A
    // destructive button never is (make the cancel button the default).
    int defaultButton = -1;
};

// How a file dialog looks; empty parts keep the dialog's own.
struct FileDialogOptions {
    QString title;
    QString directory;
    // A save dialog's suggested name.
    QString fileName;
    QString nameFilter;
    QString acceptLabel;
    QString fileNameLabel;
    QString lookInLabel;
    // A save dialog's suffix for a name typed without one.
    QString defaultSuffix;
    // What a screen reader says of the dialog.
    QString description;
    // Qt's own dialog, which shows the labels (portals ignore them).
    bool qtDialog = false;
    // A save dialog asks this before it closes; an alert keeps it open.
    std::function<std::optional<Alert>(const QStringList& chosen, const QString& shownFolder)> check;
};

// A choice of one item among several, in a drop-down list.
struct ItemChoice {
    QString title;
    QString label;
    QStringList items;
    // Empty: the desktop's own "OK".
    QString acceptLabel;
};

// Alerts, choices and file dialogs of the program. Each is window-modal over window
// (application-modal without one), returns at once and is answered later,
// from the event loop, through its callback: nothing waits in a nested loop.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // answered gets the index of the clicked button; closing the alert
    // counts as its cancel button (-1 when it has none).
    virtual void ask(QWidget* window, const Question& question, std::function<void(int button)> answered) = 0;
    // chosen gets the chosen files, nothing when cancelled.
    virtual void openFiles(QWidget* window, const FileDialogOptions& options,
                           std::function<void(QStringList paths)> chosen) = 0;
    virtual void saveFile(QWidget* window, const FileDialogOptions& options,
                          std::function<void(std::optional<QString> path)> chosen) = 0;
    virtual void chooseFolder(QWidget* window, const FileDialogOptions& options,
                              std::function<void(std::optional<QString> path)> chosen) = 0;

    // chosen gets the index of the chosen item, nothing when cancelled.
    virtual void chooseItem(QWidget* window, const ItemChoice& choice,
                            std::function<void(std::optional<qsizetype> index)> chosen) = 0;

    // The program's "About" box: text is the program's own markup, never
    // text from outside.
    virtual void about(QWidget* window, const QString& title, const QString& text) = 0;

    // An alert with one "OK" button; then runs when it is closed.
    void tell(QWidget* window, const Alert& alert, std::function<void()> then = {});
};

// QMessageBox and QFileDialog, opened with open().
std::unique_ptr<Dialogs> makeWindowDialogs();

}  // namespace brenvo
