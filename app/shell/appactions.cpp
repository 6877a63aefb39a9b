#include "app/shell/appactions.h"

#include "app/cards/cardactions.h"
#include "app/dialogs/dialogs.h"
#include "app/settings/appsettings.h"
#include "app/settings/settingsview.h"
#include "app/shell/addressproposal.h"
#include "app/shell/appdelegate.h"
#include "app/shell/autostart.h"
#include "app/shell/uninstall.h"
#include "app/update/updatercontroller.h"

#include <QCoreApplication>
#include <QDir>

using vortan::Controller;
using vortan::User;

// The texts keep the catalogues' context of the program object (AppDelegate::tr).
namespace brenvo {

AppActions::AppActions(AppActionParts parts, QObject* parent)
    : QObject(parent), m_parts(std::move(parts)), m_programPath(QCoreApplication::applicationFilePath())
{
}

void AppActions::showSettings(QWidget* over)
{
    // Over the window it was asked from (it goes with that window).
    QWidget* window = over ? over : m_parts.activeWindow();
    Controller& controller = m_parts.controller;
    if (!m_settingsView) {
        m_settingsView = new SettingsView(
            m_parts.settings, m_parts.dialogs,
            [&controller](bool listen, bool mapPort) { controller.setSettings(listen, mapPort); }, window);
        m_settingsView->setAttribute(Qt::WA_DeleteOnClose);
        m_settingsView->setLoginStart({[] { return Autostart().enabled(); },
                                       [](bool on) { return Autostart().setEnabled(on); }});
        m_settingsView->setPortChange([&controller](std::uint16_t port) {
            if (std::optional<User> me = controller.me()) {
                me->port = port;
                controller.editMe(*me);
            }
        });
        m_settingsView->setShareCard([this] { m_parts.cards.shareMyCard(m_settingsView); });
        m_settingsView->setTorChange([this](bool on) {
            m_parts.controller.setTorEnabled(on && m_parts.mayUseTor && Controller::torInstalled());
        });
        m_settingsView->setDirectChange([this](bool on) { m_parts.controller.setDirectPathEnabled(on); });
        const auto showReach = [this] {
            const std::optional<User>& me = m_parts.controller.me();
            m_settingsView->setReach({m_parts.listenerState(), me ? me->port : std::nullopt,
                                      m_parts.controller.reachability(),
                                      me ? me->address.value_or(QString()).trimmed() : QString(),
                                      m_parts.addressProposal.proposed()});
        };
        showReach();
        connect(&m_parts.settings, &AppSettings::changed, m_settingsView, [this, showReach](const QString& key) {
            if (key == m_parts.settings.proposedAddress.key())
                showReach();
        });
        connect(&controller, &Controller::listenerStateChanged, m_settingsView, showReach);
        connect(&controller, &Controller::reachabilityChanged, m_settingsView, showReach);
        connect(&controller, &Controller::meChanged, m_settingsView, showReach);
    } else if (window && m_settingsView->parentWidget() != window) {
        m_settingsView->setParent(window, m_settingsView->windowFlags());
    }
    m_settingsView->show();
    m_settingsView->raise();
    m_settingsView->activateWindow();
}

void AppActions::showAbout(QWidget* parent)
{
    m_parts.dialogs.about(parent, AppDelegate::tr("About Brenvo"),
                          AppDelegate::tr("<h3>Brenvo %1</h3><p>Send files straight from one machine to another, "
                                          "between people who know each other, with no server in between.</p>")
                              .arg(QStringLiteral(BRENVO_VERSION)));
}

void AppActions::checkForUpdates(QWidget* window)
{
    m_parts.updater.checkManually(window ? window : m_parts.activeWindow());
}

void AppActions::uninstall(QWidget* parent)
{
    const QString& support = m_parts.supportDirectory;
    const QByteArray ownKey = m_parts.controller.me() ? m_parts.controller.me()->key : QByteArray();
    const QStringList files = brenvoFiles(support, ownKey);
    // The folder is the person's choice (--data-dir): it may hold their own
    // files, which stay. Its name is shown as it is, never as markup.
    QString informative =
        AppDelegate::tr("This operation cannot be undone.") + QStringLiteral("\n\n") +
        AppDelegate::tr("Brenvo removes your identity key, its settings and the files it made in the folder %1 "
                        "(listed in the details); the folder itself only when nothing else is left in it.")
            .arg(QDir::toNativeSeparators(support));
    if (installedByPackage(m_programPath))
        informative += QStringLiteral("\n\n") + packageAdvice();
    QStringList paths;
    for (const QString& name : files)
        paths.append(QDir::toNativeSeparators(QDir(support).filePath(name)));
    paths.append(QDir::toNativeSeparators(m_parts.settings.filePath()));
    const Question question{{Alert::Kind::warning, AppDelegate::tr("Are you sure you want to uninstall Brenvo?"),
                             AppDelegate::tr("Are you sure you want to uninstall Brenvo?"), informative,
                             paths.join(QLatin1Char('\n'))},
                            {{AlertButton::Role::destructive, AppDelegate::tr("Uninstall")}, {AlertButton::Role::cancel, {}}},
                            1};
    QPointer<QWidget> window(parent);
    m_parts.dialogs.ask(parent, question, [self = QPointer(this), window, inWindow = parent != nullptr](int button) {
        if (!self || button != 0 || self->m_uninstalled)
            return;
        self->finishUninstall(inWindow ? window.data() : nullptr);
    });
}

QString AppActions::packageAdvice()
{
    return AppDelegate::tr("The program was installed with a package of the system: remove the package “brenvo” "
                           "with your package manager, for example with the command: sudo apt remove brenvo");
}

void AppActions::finishUninstall(QWidget* parent)
{
    m_uninstalled = true;
    m_uninstalledKey = m_parts.controller.me() ? m_parts.controller.me()->key : QByteArray();
    const UninstallResult result =
        uninstallEverything(m_parts.controller, m_parts.settings, m_parts.supportDirectory, m_programPath);
    if (result.trashError.isEmpty()) {
        m_parts.quit();
        return;
    }
    // The data is gone: the person is told what is left and how to remove
    // it, then the program ends.
    const QString program = QDir::toNativeSeparators(m_programPath);
    const QString informative =
        installedByPackage(m_programPath)
            ? AppDelegate::tr("Your data has been removed. %1 stays.").arg(program) + QLatin1Char(' ') + packageAdvice()
            : AppDelegate::tr("Your data has been removed. Remove %1 yourself (%2).").arg(program, result.trashError);
    m_parts.dialogs.tell(parent,
                         Alert{Alert::Kind::information, AppDelegate::tr("Brenvo"),
                               AppDelegate::tr("Brenvo could not move the program to the Trash."), informative, {}},
                         [self = QPointer(this)] {
                             if (self)
                                 self->m_parts.quit();
                         });
}

void AppActions::finishStop()
{
    if (m_uninstalled)
        removeLeftovers(m_parts.settings, m_parts.supportDirectory, m_uninstalledKey);
}

}  // namespace brenvo
