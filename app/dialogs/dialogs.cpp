#include "app/dialogs/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace brenvo {

namespace {

QMessageBox::Icon boxIcon(Alert::Kind kind)
{
    switch (kind) {
    case Alert::Kind::information: return QMessageBox::Information;
    case Alert::Kind::warning: return QMessageBox::Warning;
    case Alert::Kind::critical: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::ButtonRole boxRole(AlertButton::Role role)
{
    switch (role) {
    case AlertButton::Role::accept: return QMessageBox::AcceptRole;
    case AlertButton::Role::action: return QMessageBox::ActionRole;
    case AlertButton::Role::destructive: return QMessageBox::DestructiveRole;
    case AlertButton::Role::cancel: return QMessageBox::RejectRole;
    }
    return QMessageBox::InvalidRole;
}

// Window-modal over its window with open(); without one, application-modal.
void present(QDialog* dialog, QWidget* window)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (window) {
        dialog->open();
        return;
    }
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
}

// A save dialog that asks its check before it closes.
class CheckedFileDialog : public QFileDialog {
public:
    CheckedFileDialog(QWidget* parent, std::function<std::optional<Alert>(const QStringList&, const QString&)> check,
                      Dialogs& dialogs)
        : QFileDialog(parent), m_check(std::move(check)), m_dialogs(dialogs)
    {
    }

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        const std::optional<Alert> refusal =
            m_check ? m_check(chosen, directory().absolutePath()) : std::nullopt;
        if (!refusal) {
            QFileDialog::accept();
            return;
        }
        m_dialogs.tell(this, *refusal);
    }

private:
    std::function<std::optional<Alert>(const QStringList&, const QString&)> m_check;
    Dialogs& m_dialogs;
};

class WindowDialogs final : public Dialogs {
public:
    void ask(QWidget* window, const Question& question, std::function<void(int)> answered) override
    {
        const Alert& alert = question.alert;
        auto* box = new QMessageBox(window);
        box->setIcon(boxIcon(alert.kind));
        box->setWindowTitle(alert.title);
        box->setTextFormat(Qt::PlainText);
        box->setText(alert.text);
        box->setInformativeText(alert.informativeText);
        if (!alert.detailedText.isEmpty())
            box->setDetailedText(alert.detailedText);
        // Names, paths and errors from outside: never read as markup.
        for (QLabel* label : box->findChildren<QLabel*>())
            label->setTextFormat(Qt::PlainText);
        QList<QAbstractButton*> buttons;
        int cancel = -1;
        for (const AlertButton& button : question.buttons) {
            QPushButton* made = nullptr;
            if (!button.text.isEmpty())
                made = box->addButton(button.text, boxRole(button.role));
            else
                made = box->addButton(button.role == AlertButton::Role::cancel ? QMessageBox::Cancel : QMessageBox::Ok);
            if (button.role == AlertButton::Role::destructive)
                made->setAutoDefault(false);
            if (button.role == AlertButton::Role::cancel && cancel < 0)
                cancel = int(buttons.size());
            buttons.append(made);
        }
        if (question.defaultButton >= 0 && question.defaultButton < buttons.size())
            box->setDefaultButton(static_cast<QPushButton*>(buttons[question.defaultButton]));
        if (cancel >= 0)
            box->setEscapeButton(buttons[cancel]);
        QObject::connect(box, &QMessageBox::finished, box, [box, buttons, cancel, answered = std::move(answered)] {
            const qsizetype clicked = buttons.indexOf(box->clickedButton());
            if (answered)
                answered(clicked >= 0 ? int(clicked) : cancel);
        });
        present(box, window);
    }

    void chooseItem(QWidget* window, const ItemChoice& choice,
                    std::function<void(std::optional<qsizetype>)> chosen) override
    {
        auto* dialog = new QInputDialog(window);
        dialog->setWindowTitle(choice.title);
        dialog->setLabelText(choice.label);
        dialog->setComboBoxItems(choice.items);
        if (!choice.acceptLabel.isEmpty())
            dialog->setOkButtonText(choice.acceptLabel);
        QObject::connect(dialog, &QInputDialog::finished, dialog,
                         [dialog, items = choice.items, chosen = std::move(chosen)](int result) {
                             const qsizetype index = items.indexOf(dialog->textValue());
                             if (chosen)
                                 chosen(result == QDialog::Accepted && index >= 0 ? std::optional(index) : std::nullopt);
                         });
        present(dialog, window);
    }

    void about(QWidget* window, const QString& title, const QString& text) override
    {
        // As QMessageBox::about() shows it, without its nested event loop.
        auto* box = new QMessageBox(window);
        box->setWindowTitle(title);
        box->setTextFormat(Qt::RichText);
        box->setText(text);
        const QIcon icon = window ? window->windowIcon() : QApplication::windowIcon();
        if (!icon.isNull())
            box->setIconPixmap(icon.pixmap(64, 64));
        box->addButton(QMessageBox::Ok);
        present(box, window);
    }

    void openFiles(QWidget* window, const FileDialogOptions& options,
                   std::function<void(QStringList)> chosen) override
    {
        QFileDialog* dialog = make(window, options, {});
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFiles);
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, chosen = std::move(chosen)](int result) {
            if (chosen)
                chosen(result == QDialog::Accepted ? dialog->selectedFiles() : QStringList());
        });
        present(dialog, window);
    }

    void saveFile(QWidget* window, const FileDialogOptions& options,
                  std::function<void(std::optional<QString>)> chosen) override
    {
        QFileDialog* dialog = make(window, options, options.check);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        if (!options.fileName.isEmpty())
            dialog->selectFile(options.fileName);
        answerOne(dialog, window, std::move(chosen));
    }

    void chooseFolder(QWidget* window, const FileDialogOptions& options,
                      std::function<void(std::optional<QString>)> chosen) override
    {
        QFileDialog* dialog = make(window, options, {});
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        answerOne(dialog, window, std::move(chosen));
    }

private:
    QFileDialog* make(QWidget* window, const FileDialogOptions& options,
                      std::function<std::optional<Alert>(const QStringList&, const QString&)> check)
    {
        auto* dialog = new CheckedFileDialog(window, std::move(check), *this);
        if (!options.title.isEmpty())
            dialog->setWindowTitle(options.title);
        if (options.qtDialog)
            dialog->setOption(QFileDialog::DontUseNativeDialog);
        if (!options.directory.isEmpty())
            dialog->setDirectory(options.directory);
        if (!options.nameFilter.isEmpty())
            dialog->setNameFilter(options.nameFilter);
        if (!options.acceptLabel.isEmpty())
            dialog->setLabelText(QFileDialog::Accept, options.acceptLabel);
        if (!options.fileNameLabel.isEmpty())
            dialog->setLabelText(QFileDialog::FileName, options.fileNameLabel);
        if (!options.defaultSuffix.isEmpty())
            dialog->setDefaultSuffix(options.defaultSuffix);
        if (!options.description.isEmpty())
            dialog->setAccessibleDescription(options.description);
        if (!options.lookInLabel.isEmpty())
            dialog->setLabelText(QFileDialog::LookIn, options.lookInLabel);
        return dialog;
    }

    static void answerOne(QFileDialog* dialog, QWidget* window, std::function<void(std::optional<QString>)> chosen)
    {
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, chosen = std::move(chosen)](int result) {
            const QStringList files = dialog->selectedFiles();
            if (chosen)
                chosen(result == QDialog::Accepted && !files.isEmpty() ? std::optional(files.front()) : std::nullopt);
        });
        present(dialog, window);
    }
};

}  // namespace

void Dialogs::tell(QWidget* window, const Alert& alert, std::function<void()> then)
{
    ask(window, Question{alert, {AlertButton{}}, -1}, [then = std::move(then)](int) {
        if (then)
            then();
    });
}

std::unique_ptr<Dialogs> makeWindowDialogs()
{
    return std::make_unique<WindowDialogs>();
}

}  // namespace brenvo
