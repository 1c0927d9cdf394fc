#include "update/GUI_Upgrade.h"

#include "update/HttpServer.h"
#include "update/ReleaseInstaller.h"
#include "update/UpdateLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

QString kiloBytes(qint64 bytes)
{
    return QString::number(qMax<qint64>(bytes, 0) / 1024) + QStringLiteral(" KB");
}

} // namespace

GUI_Upgrade::GUI_Upgrade(QWidget* parent, Toast toast)
    : QWidget(parent)
    , m_toast(std::move(toast))
    , m_programFolder(QCoreApplication::applicationDirPath())
    , m_publicKey(update::ReleaseCheck::buildPublicKey())
    , m_archive(ReleaseInstaller::archivePath())
{
    hide();
}

GUI_Upgrade::~GUI_Upgrade() = default;

void GUI_Upgrade::setSecondLine(qint64 received, qint64 total)
{
    if (!m_progress)
        return;
    m_progress->setLabelText(m_firstLine + QLatin1Char('\n')
        + QStringLiteral("%1: %2   %3: %4").arg(tr("Total"), kiloBytes(total), tr("Downloaded"), kiloBytes(received)));
}

void GUI_Upgrade::slot_update(QString urlstr)
{
    const QString archive = m_archive;
    QDir().mkpath(QFileInfo(archive).absolutePath());
    QFile::remove(archive);

    if (!m_progress) {
        m_progress = new QProgressDialog(parentWidget());
        m_progress->setCancelButton(nullptr);
        m_progress->setWindowModality(Qt::WindowModal);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setMinimumDuration(0);
        // Wider than the product's 300 x 80: the Spanish lines were clipped there.
        m_progress->setFixedSize(360, 96);
        m_progress->installEventFilter(this);
    }
    m_running = true;
    m_progress->setWindowTitle(tr("Please wait"));
    m_firstLine = tr("Ready to download the new program") + QStringLiteral("...");
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    setSecondLine(0, 0);
    m_progress->show();

    auto* server = new HttpServer(this);
    connect(server, &HttpServer::started, this, [this] {
        m_firstLine = tr("Downloading a new version of the program") + QStringLiteral("...");
        setSecondLine(0, 0);
    });
    connect(server, &HttpServer::downloadProgress, this, [this](qlonglong received, qlonglong total) {
        if (!m_progress)
            return;
        // The bar counts KiB so that archives above 2 GiB still fit an int.
        m_progress->setMaximum(int(qMax<qlonglong>(total, 0) / 1024));
        m_progress->setValue(int(qMax<qlonglong>(received, 0) / 1024));
        setSecondLine(received, total);
    });
    connect(server, &HttpServer::finished, this, [this, archive](bool ok) {
        if (!ok) {
            m_running = false;
            m_firstLine = tr("File download failure") + QStringLiteral("!!!");
            if (m_progress)
                m_progress->setLabelText(m_firstLine);
            emit sig_updateFailed();
            return;
        }
        m_firstLine = tr("Preparing for installation") + QStringLiteral("...");
        if (m_progress)
            m_progress->setLabelText(m_firstLine);
        slot_installationNewProgram(archive);
    });
    QTimer::singleShot(0, server, [server, urlstr, archive] {
        server->downloadFileFromServer(urlstr, archive, -1);
        server->deleteLater();
    });
}

bool GUI_Upgrade::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_progress || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Escape && key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    // Hiding a running download would leave it going unseen.
    if (!m_running)
        m_progress->hide();
    return true;
}

void GUI_Upgrade::runBlocking(const std::function<void()>& job)
{
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        job();
        done = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    if (!done)
        loop.exec();
    worker.join();
}

void GUI_Upgrade::failInstall(const QString& message, int ms, const QString& archive, const QString& folder)
{
    ReleaseInstaller::cleanUp(archive, folder);
    m_running = false;
    if (m_progress)
        m_progress->hide();
    if (m_toast)
        m_toast(message, ms);
    emit sig_updateFailed();
}

void GUI_Upgrade::slot_installationNewProgram(QString zipPath)
{
    const QString folder = ReleaseInstaller::unpackFolder(zipPath);
    const ReleaseInstaller installer(m_publicKey);
    const QString programFolder = m_programFolder;

    QString unpackError;
    runBlocking([&] { unpackError = installer.unpack(zipPath, folder); });
    if (!unpackError.isEmpty()) {
        // The checker's own reason says more than the generic text.
        failInstall(tr("Extract zip file failed") + QStringLiteral("!!! ") + unpackError, 3000, zipPath, folder);
        return;
    }
    const QString copyError = installer.copyUpgrader(folder, programFolder);
    if (!copyError.isEmpty()) {
        failInstall(copyError + QStringLiteral("!!!"), 1200, zipPath, folder);
        return;
    }
    if (m_progress) {
        m_firstLine = tr("Installing the new version; the program restarts when it is done") + QStringLiteral("...");
        m_progress->setLabelText(m_firstLine);
    }
    QString runError;
    runBlocking([&] { runError = installer.runUpgrader(folder, programFolder); });
    if (!runError.isEmpty()) {
        failInstall(runError + QStringLiteral("!!!"), 2000, zipPath, folder);
        return;
    }
    qCInfo(lcUpdate) << "release handed to the upgrader; the program ends now";
    emit sig_handedOver();
}
