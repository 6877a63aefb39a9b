#pragma once

// Answers the program's alerts and file dialogs from a script, in order,
// and records what was asked; an unexpected question fails the test.

#include "app/dialogs/dialogs.h"

#include <QList>
#include <QStringList>
#include <QVariant>

namespace brenvo::test {

class ScriptedDialogs final : public Dialogs {
public:
    // What was shown; a file dialog or a choice records its title.
    struct Asked {
        enum class Kind { alert, openFiles, saveFile, chooseFolder, chooseItem };
        Kind kind;
        Question question;
        FileDialogOptions options;
    };

    // Queued answers: a button's text (an empty text: the cancel button;
    // "OK" for the desktop's OK) or, for file dialogs, the chosen paths
    // (none: cancelled), or for a choice the chosen item's text (empty:
    // cancelled).
    void answer(const QString& button) { m_answers.append(QVariant(button)); }
    void choose(const QStringList& paths) { m_answers.append(QVariant(paths)); }

    QList<Asked> asked;
    // Answers are given later, from the event loop, as the real dialogs do.
    void ask(QWidget* window, const Question& question, std::function<void(int)> answered) override;
    void openFiles(QWidget* window, const FileDialogOptions& options, std::function<void(QStringList)> chosen) override;
    void saveFile(QWidget* window, const FileDialogOptions& options,
                  std::function<void(std::optional<QString>)> chosen) override;
    void chooseFolder(QWidget* window, const FileDialogOptions& options,
                      std::function<void(std::optional<QString>)> chosen) override;
    void chooseItem(QWidget* window, const ItemChoice& choice,
                    std::function<void(std::optional<qsizetype>)> chosen) override;
    // Recorded as an alert with that title and text; needs no answer.
    void about(QWidget* window, const QString& title, const QString& text) override;

    // Drops the answers no dialog took.
    void forgetAnswers() { m_answers.clear(); }

private:
    QVariant next();
    QList<QVariant> m_answers;
};

}  // namespace brenvo::test
