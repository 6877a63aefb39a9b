#include "app/cards/sharetargets.h"

#include "app/dialogs/dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <utility>

namespace brenvo {

namespace {

constexpr int kListTimeoutMs = 15000;
const QString kDeviceTool = QStringLiteral("kdeconnect-cli");

}  // namespace

void shareByEmail(const QString& path, const ShareFailure& failed)
{
    if (!QProcess::startDetached(QStringLiteral("xdg-email"), {QStringLiteral("--attach"), path}))
        failed(QCoreApplication::translate("ShareTargets", "The mail composer (xdg-email) could not be started."));
}

void copyCardToClipboard(const QString& path, const QByteArray& bytes)
{
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path)});
    data->setData(QStringLiteral("application/x-brenvo-card"), bytes);
    QApplication::clipboard()->setMimeData(data);
}

void DeviceShare::start(const QString& path, QWidget* window, Dialogs& dialogs, ShareFailure failed)
{
    auto* share = new DeviceShare(path, window, dialogs, std::move(failed));
    auto* process = new QProcess(share);
    auto* timer = new QTimer(share);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, share, [share, process] {
        process->kill();
        share->fail(QCoreApplication::translate("ShareTargets", "KDE Connect did not answer."));
    });
    connect(process, &QProcess::finished, share, [share, process, timer](int code, QProcess::ExitStatus status) {
        timer->stop();
        if (status != QProcess::NormalExit || code != 0) {
            share->fail(QCoreApplication::translate("ShareTargets", "KDE Connect could not list the devices."));
            return;
        }
        share->listed(process->readAllStandardOutput());
    });
    connect(process, &QProcess::errorOccurred, share, [share, timer](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        timer->stop();
        share->fail(QCoreApplication::translate("ShareTargets", "KDE Connect (kdeconnect-cli) could not be started."));
    });
    timer->start(kListTimeoutMs);
    process->start(kDeviceTool, {QStringLiteral("--list-available"), QStringLiteral("--id-name-only")});
}

DeviceShare::DeviceShare(QString path, QWidget* window, Dialogs& dialogs, ShareFailure failed)
    : QObject(window), m_path(std::move(path)), m_window(window), m_dialogs(dialogs), m_failed(std::move(failed))
{
}

void DeviceShare::listed(const QByteArray& output)
{
    QStringList ids;
    QStringList names;
    for (const QByteArray& raw : output.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        ids.append(space < 0 ? line : line.left(space));
        names.append(space < 0 ? line : line.mid(space + 1));
    }
    if (ids.isEmpty()) {
        fail(QCoreApplication::translate("ShareTargets", "No device is available. Pair one with KDE Connect first."));
        return;
    }
    if (ids.size() == 1) {
        send(ids.first());
        return;
    }
    const ItemChoice choice{QCoreApplication::translate("ShareTargets", "Send to Device"),
                            QCoreApplication::translate("ShareTargets", "Device:"), names,
                            QCoreApplication::translate("ShareTargets", "Send", "sends the card to the device")};
    m_dialogs.chooseItem(m_window, choice, [self = QPointer(this), ids](std::optional<qsizetype> index) {
        if (!self)
            return;
        if (index)
            self->send(ids[*index]);
        else
            self->deleteLater();
    });
}

void DeviceShare::send(const QString& deviceId)
{
    if (std::exchange(m_done, true))
        return;
    if (!QProcess::startDetached(kDeviceTool, {QStringLiteral("--share"), m_path, QStringLiteral("--device"), deviceId}))
        m_failed(QCoreApplication::translate("ShareTargets", "KDE Connect (kdeconnect-cli) could not be started."));
    deleteLater();
}

void DeviceShare::fail(const QString& description)
{
    if (std::exchange(m_done, true))
        return;
    m_failed(description);
    deleteLater();
}

}  // namespace brenvo
