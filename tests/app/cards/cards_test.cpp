#include "app/cards/cardactions.h"
#include "app/cards/cardfiles.h"
#include "app/cards/userdetailsview.h"
#include "tests/app/support/peers.h"
#include "tests/app/support/scripteddialogs.h"
#include "tests/support/testsupport.h"
#include "vortan/controller.h"
#include "vortan/usercard.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>
#include <sys/stat.h>

using vortan::Controller;
using vortan::User;
using vortan::decodeCard;
using vortan::encodeCard;
using vortan::kMaxCardSize;

using namespace brenvo;
using vortan::test::waitFor;

namespace {

QByteArray keyOf(char seed) { return QByteArray(32, seed); }

// A binary property list, written by Python's plistlib from a Python
// expression: card files the library's encoder never would write.
QByteArray plist(const QString& expression)
{
    QProcess python;
    python.start("/usr/bin/python3", {"-c", "import plistlib, sys; sys.stdout.buffer.write(plistlib.dumps(" + expression +
                                                ", fmt=plistlib.FMT_BINARY))"});
    EXPECT_TRUE(python.waitForFinished(20000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return python.readAllStandardOutput();
}

// The visible window of type T, once it shows: a child of window, or a
// top-level window (application-modal) without one.
template <class T>
T* shown(QWidget* window = nullptr)
{
    T* found = nullptr;
    waitFor([&] {
        for (QWidget* w : window ? window->findChildren<QWidget*>() : QApplication::topLevelWidgets())
            if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
                found = t;
        return found != nullptr;
    }, 5000);
    return found;
}

struct CardsTest : ::testing::Test {
    QTemporaryDir dir;
    test::Peer peer{"Me"};
    Controller& controller = *peer.controller;
    QString cards = dir.filePath("cards");
    test::ScriptedDialogs dialogs;
    CardActions actions{controller, cards, dialogs};
    QWidget window;

    void SetUp() override { window.show(); }
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(vortan::test::writeFile(path, bytes));
        return path;
    }
    QString card(const QString& name, const User& user) { return write(name, encodeCard(user)); }
    // The question asked last (once asked), and its texts.
    const Question& asked(qsizetype count)
    {
        EXPECT_TRUE(waitFor([&] { return dialogs.asked.size() >= count; }, 5000));
        static const Question none;
        return dialogs.asked.size() >= count ? dialogs.asked[count - 1].question : none;
    }
    std::pair<QString, QString> alert(qsizetype count)
    {
        const Alert& shown = asked(count).alert;
        EXPECT_EQ(shown.title, "Brenvo");
        return {shown.text, shown.informativeText};
    }
};

TEST_F(CardsTest, UntrustedCardFilesAlertAndAddNothing)
{
    const QString fifo = dir.filePath("fifo.bcard");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct {
        QString path;
        QString problem;  // part of the alert's message
    } cases[] = {
        {write("big.bcard", QByteArray(kMaxCardSize + 1, 'x')), "65536"},
        {write("deep.bcard", plist(QString("[").repeated(100) + "{'key': b'k' * 32, 'name': 'Deep'}" +
                                   QString("]").repeated(100))), ""},
        {write("junk.bcard", "bplist00 nothing of the sort"), ""},
        {write("short.bcard", plist("{'key': b'k' * 31, 'name': 'Short'}")), "31"},
        {write("port.bcard", plist("{'key': b'k' * 32, 'name': 'Far', 'port': 70000}")), ""},
        {fifo, "Not a regular file"},
        {card("mine.bcard", *controller.me()), "your own card"},
    };
    qsizetype count = 0;
    for (const auto& c : cases) {
        dialogs.answer("OK");
        actions.importCardFiles(&window, {c.path});
        const auto [title, message] = alert(++count);
        EXPECT_EQ(title, "Failed to import file " + QFileInfo(c.path).fileName() + ".");
        EXPECT_TRUE(message.contains(c.problem)) << message.toStdString();
        EXPECT_FALSE(message.isEmpty());
    }
    QApplication::processEvents();
    EXPECT_EQ(window.findChild<UserDetailsView*>(), nullptr);
    EXPECT_TRUE(controller.users().isEmpty());

    // Cards written this way are read: port 65535 is fine.
    EXPECT_EQ(decodeCard(plist("{'key': b'k' * 32, 'name': 'Edge', 'port': 65535}")).port, 65535);

    // Several failures: one line per file.
    const AlertText several = importFailureAlert(readCardFiles({cases[0].path, fifo}, {}).failures);
    EXPECT_EQ(several.title, "Failed to import 2 files.");
    EXPECT_EQ(several.message, "Larger than 65536 bytes (big.bcard)\nNot a regular file (fifo.bcard)");
}

// Dropped on the program, a card imports without a window to report to; into
// a window, a bad file among three is reported and the two others confirmed
// at once, the known key as an update.
TEST_F(CardsTest, ImportsNewUsersAndUpdatesKnownOnes)
{
    const User ada("Ada", "10.0.0.7", 54322, keyOf('a'));
    const User bo("Bo", std::nullopt, std::nullopt, keyOf('b'));
    QSignalSpy imported(&actions, &CardActions::usersImported);
    actions.importDroppedUrls(nullptr, {QUrl::fromLocalFile(card("ada.bcard", ada)), QUrl("https://example.net/x.bcard")});
    auto* view = shown<UserDetailsView>();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->windowTitle(), "Import User");
    EXPECT_EQ(view->windowModality(), Qt::ApplicationModal);
    auto* confirm = view->findChild<QPushButton*>("confirm");
    EXPECT_EQ(confirm->text(), "Import");
    confirm->click();
    ASSERT_TRUE(waitFor([&] { return controller.users().size() == 1; }));
    QApplication::processEvents();
    EXPECT_EQ(imported.count(), 0);

    dialogs.answer("OK");
    actions.importCardFiles(&window, {card("bo.bcard", bo), write("x.bcard", "not a card"),
                                      card("ada2.bcard", User("Ada Two", "10.0.0.9", 54322, keyOf('a')))});
    EXPECT_EQ(alert(1).first, "Failed to import file x.bcard.");
    view = shown<UserDetailsView>(&window);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->windowTitle(), "Import Users");
    EXPECT_EQ(view->findChild<QLabel*>("position")->text(), "1 of 2");
    const auto visibleText = [&](const char* name) {
        auto* label = view->findChild<QLabel*>(name);
        return label->isVisible() ? label->text() : QString();
    };
    EXPECT_EQ(visibleText("updateNote"), "");
    for (QToolButton* button : view->findChildren<QToolButton*>())
        if (button->accessibleName() == "Next User")
            button->click();
    EXPECT_TRUE(visibleText("updateNote").contains("“Ada”"));
    EXPECT_EQ(visibleText("previousName"), "Was: Ada");
    EXPECT_EQ(visibleText("previousAddress"), "Was: 10.0.0.7");
    EXPECT_EQ(visibleText("previousPort"), "");  // unchanged
    confirm = view->findChild<QPushButton*>("confirm");
    EXPECT_EQ(confirm->text(), "Import 2 users");
    EXPECT_TRUE(confirm->isDefault());
    confirm->click();

    ASSERT_TRUE(imported.count() == 1 || imported.wait(5000));
    EXPECT_EQ(imported.first().at(0).value<QWidget*>(), &window);
    EXPECT_EQ(imported.first().at(1).toByteArray(), bo.key);
    ASSERT_EQ(controller.users().size(), 2);
    EXPECT_EQ(controller.users()[0].name, "Ada Two");
    EXPECT_EQ(controller.users()[0].address, "10.0.0.9");
}

TEST_F(CardsTest, ShareMenuAndCopyWritesACardThatDecodesBack)
{
    User me = *controller.me();
    me.name = "a/b";
    me.address = "10.0.0.5";
    controller.editMe(me);

    actions.shareMyCard(&window);
    auto* view = shown<UserDetailsView>(&window);
    ASSERT_TRUE(view);
    QStringList entries;
    for (QAction* a : view->findChild<QMenu*>("shareMenu")->actions())
        entries.append(a->text());
    QStringList expected{"Email…", "Copy", "Export File…"};
    if (UserDetailsView::deviceSharingAvailable())
        expected.insert(2, "Send to Device…");
    EXPECT_EQ(entries, expected);
    // Export File… is driven end to end (cards_e2e.py): the save dialog, the file, its import.
    view->reject();

    actions.shareMyCard(nullptr);  // the menu's window
    auto* menuWindow = shown<UserDetailsView>();
    ASSERT_TRUE(menuWindow);
    EXPECT_EQ(menuWindow->windowTitle(), "Share Card");
    EXPECT_EQ(menuWindow->windowModality(), Qt::ApplicationModal);
    EXPECT_FALSE(menuWindow->windowFlags() & Qt::WindowCloseButtonHint);
    menuWindow->findChild<QMenu*>("shareMenu")->actions().at(1)->trigger();  // Copy
    const QString copied = QDir(cards).filePath("a:b.bcard");
    ASSERT_TRUE(waitFor([&] { return QFile::exists(copied); }));
    EXPECT_EQ(decodeCard(vortan::test::readFile(copied)), *controller.me());
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    EXPECT_EQ(clip->urls().value(0).toLocalFile(), copied);
    EXPECT_EQ(clip->data("application/x-brenvo-card"), vortan::test::readFile(copied));
}

// The own card has no address: sharing asks first. Shared anyway into a
// folder that is not there, the export fails and says so.
TEST_F(CardsTest, CardWithoutAddressWarnsBeforeItGoes)
{
    const auto expectAlert = [&](qsizetype count) {
        const Question& question = asked(count);
        EXPECT_EQ(question.alert.text, "Your card has no address");
        EXPECT_EQ(question.alert.informativeText,
                  "Others can't connect to you with this card until it has an address. Add one now?");
        EXPECT_EQ(question.buttons.value(question.defaultButton).text, "Add Address…");
    };
    const auto copy = [](UserDetailsView* view) { view->findChild<QMenu*>("shareMenu")->actions().at(1)->trigger(); };

    actions.shareMyCard(&window);
    auto* details = shown<UserDetailsView>(&window);
    ASSERT_TRUE(details);
    EXPECT_TRUE(details->findChild<QWidget*>("addressSuggestions"));
    dialogs.answer("Share Anyway");
    dialogs.choose({dir.filePath("missing/folder/me.bcard")});
    dialogs.answer("OK");
    details->findChild<QMenu*>("shareMenu")->actions().last()->trigger();  // Export File…
    const auto [title, message] = alert(3);
    expectAlert(1);
    EXPECT_EQ(dialogs.asked[1].kind, test::ScriptedDialogs::Asked::Kind::saveFile);
    EXPECT_EQ(dialogs.asked[1].options.fileName, "Me.bcard");
    EXPECT_EQ(title, "Failed to export file.");
    EXPECT_FALSE(message.isEmpty());

    actions.shareMyCard(&window);
    dialogs.answer({});  // Cancel
    copy(shown<UserDetailsView>(&window));
    expectAlert(4);
    QApplication::processEvents();
    EXPECT_FALSE(QDir(cards).exists());  // nothing written

    actions.shareMyCard(&window);
    dialogs.answer("Add Address…");
    copy(shown<UserDetailsView>(&window));
    expectAlert(5);
    details = shown<UserDetailsView>(&window);
    ASSERT_TRUE(details);
    auto* address = details->findChild<QLineEdit*>("address");
    EXPECT_TRUE(waitFor([&] { return address->hasFocus(); }));
    address->setText("ada.example");
    emit address->textEdited(address->text());
    copy(details);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(QDir(cards).filePath("Me.bcard")); }));
    EXPECT_EQ(decodeCard(vortan::test::readFile(QDir(cards).filePath("Me.bcard"))).address, "ada.example");
}

TEST_F(CardsTest, RemoveAndChooseRecipients)
{
    controller.addUsers({User("Ada", {}, {}, keyOf('a')), User("Bo", {}, {}, keyOf('b'))});
    dialogs.answer("Remove");
    actions.confirmRemoveUser(&window, keyOf('b'));
    const Question& question = asked(1);
    EXPECT_EQ(question.alert.text, "Remove user Bo?");
    EXPECT_EQ(question.alert.informativeText, "You will not be able to share files with Bo anymore.");
    EXPECT_EQ(question.buttons.value(question.defaultButton).role, AlertButton::Role::cancel);
    ASSERT_TRUE(waitFor([&] { return controller.users().size() == 1; }));

    std::optional<QList<QByteArray>> chosen;
    actions.chooseRecipients(&window, keyOf('a'), [&](const QList<QByteArray>& keys) { chosen = keys; });
    auto* chooser = shown<QDialog>(&window);
    ASSERT_TRUE(chooser);
    chooser->reject();  // Escape
    ASSERT_TRUE(waitFor([&] { return chosen.has_value(); }));
    EXPECT_TRUE(chosen->isEmpty());
}

}  // namespace
