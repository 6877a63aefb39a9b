#include "tests/app/support/scripteddialogs.h"

#include <gtest/gtest.h>

#include <QTimer>

namespace brenvo::test {

namespace {

void later(std::function<void()> call)
{
    QTimer::singleShot(0, [call = std::move(call)] { call(); });
}

}  // namespace

QVariant ScriptedDialogs::next()
{
    if (m_answers.isEmpty()) {
        ADD_FAILURE() << "a dialog nobody expected: " << asked.back().question.alert.text.toStdString()
                      << asked.back().options.title.toStdString();
        return {};
    }
    return m_answers.takeFirst();
}

void ScriptedDialogs::ask(QWidget*, const Question& question, std::function<void(int)> answered)
{
    asked.append({Asked::Kind::alert, question, {}});
    const QString text = next().toString();
    int index = -1;
    for (qsizetype i = 0; i < question.buttons.size(); ++i) {
        const AlertButton& button = question.buttons[i];
        const bool cancel = button.role == AlertButton::Role::cancel;
        const QString shown = !button.text.isEmpty() ? button.text
                              : cancel                ? QString()
                                                      : QStringLiteral("OK");
        if (shown == text && (index < 0 || (text.isEmpty() && cancel)))
            index = int(i);
    }
    EXPECT_TRUE(index >= 0 || text.isEmpty()) << "no button " << text.toStdString();
    later([answered = std::move(answered), index] {
        if (answered)
            answered(index);
    });
}

void ScriptedDialogs::openFiles(QWidget*, const FileDialogOptions& options, std::function<void(QStringList)> chosen)
{
    asked.append({Asked::Kind::openFiles, {}, options});
    const QStringList paths = next().toStringList();
    later([chosen = std::move(chosen), paths] { chosen(paths); });
}

void ScriptedDialogs::saveFile(QWidget*, const FileDialogOptions& options,
                               std::function<void(std::optional<QString>)> chosen)
{
    asked.append({Asked::Kind::saveFile, {}, options});
    const QStringList paths = next().toStringList();
    later([chosen = std::move(chosen), paths] { chosen(paths.isEmpty() ? std::nullopt : std::optional(paths.front())); });
}

void ScriptedDialogs::chooseFolder(QWidget*, const FileDialogOptions& options,
                                   std::function<void(std::optional<QString>)> chosen)
{
    asked.append({Asked::Kind::chooseFolder, {}, options});
    const QStringList paths = next().toStringList();
    later([chosen = std::move(chosen), paths] { chosen(paths.isEmpty() ? std::nullopt : std::optional(paths.front())); });
}

void ScriptedDialogs::chooseItem(QWidget*, const ItemChoice& choice,
                                 std::function<void(std::optional<qsizetype>)> chosen)
{
    FileDialogOptions options;
    options.title = choice.title;
    asked.append({Asked::Kind::chooseItem, {}, options});
    const qsizetype index = choice.items.indexOf(next().toString());
    later([chosen = std::move(chosen), index] { chosen(index < 0 ? std::nullopt : std::optional(index)); });
}

void ScriptedDialogs::about(QWidget*, const QString& title, const QString& text)
{
    asked.append({Asked::Kind::alert, Question{{Alert::Kind::information, title, text, {}, {}}, {}, -1}, {}});
}

}  // namespace brenvo::test
