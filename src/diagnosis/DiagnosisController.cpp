#include "diagnosis/DiagnosisController.h"

#include "diagnosis/ComponentLoader.h"
#include "diagnosis/DiagnosisLog.h"
#include "diagnosis/QDiagCarModel.h"

#include "kit/AlertDialog.h"
#include "kit/MessageYesNo.h"
#include "kit/PostCall.h"
#include "kit/SettingsStore.h"

#include "BuildConfig.h"
#include "HttpsServer.h"

#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <mutex>
#include <system_error>
#include <thread>

namespace {

constexpr int kTileColumns = 4;
constexpr int kToastMs = 2000;

QLayout* hostLayout(QWidget* host)
{
    QLayout* layout = host->layout();
    if (!layout) {
        layout = new QVBoxLayout(host);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    return layout;
}

} // namespace

// The way back from the detached threads that run a make's entry: the entry
// is foreign code that may take as long as it likes, so nothing waits for it;
// the controller clears the target when it goes, under the same lock the
// thread takes to report.
struct DiagnosisController::Relay {
    std::mutex mutex;
    DiagnosisController* target = nullptr;
};

DiagnosisController::DiagnosisController(QObject* parent)
    : QObject(parent)
    , m_gate([] { return true; })
    , m_internet([] { return HttpsServer::InternetOk(); })
    , m_folder(diagnosis::ComponentFolder::besideProgram())
    , m_fileServerBase(QString::fromUtf8(BuildConfig::kFileServerBase))
    , m_relay(std::make_shared<Relay>())
{
    m_relay->target = this;
    m_timer.setInterval(kDiagTimerMs);
    connect(&m_timer, &QTimer::timeout, this, &DiagnosisController::SlotsDiagTimeout);
}

DiagnosisController::~DiagnosisController()
{
    {
        std::lock_guard<std::mutex> lock(m_relay->mutex);
        m_relay->target = nullptr;
    }
    stop();
}

void DiagnosisController::setComponentFolder(const QString& vehDiagFolder)
{
    m_folder = diagnosis::ComponentFolder(vehDiagFolder);
}

void DiagnosisController::attach(SubsystemHost& host)
{
    m_host = &host;
    host.buildOnFirstShow(Pages::Kestrix, [this](QWidget* page) { buildTiles(page); });
    host.buildOnFirstShow(Pages::KestrixNoNet, [this](QWidget* page) { buildNoNet(page); });
    host.frame()->installEventFilter(this);
}

void DiagnosisController::stop()
{
    m_timer.stop();
    m_workers.stopAndJoin();
}

bool DiagnosisController::english() const
{
    return SettingsStore::instance().language() == QLatin1String("en");
}

diagnosis::ComponentUpdates DiagnosisController::updates() const
{
    return diagnosis::ComponentUpdates(m_folder, m_fileServerBase, m_policy);
}

void DiagnosisController::buildTiles(QWidget* host)
{
    m_tilesArea = new QWidget(host);
    m_tilesArea->setObjectName(QStringLiteral("widget_CarModels"));
    auto* column = new QVBoxLayout(m_tilesArea);
    column->setContentsMargins(24, 24, 24, 24);
    m_tilesGrid = new QGridLayout();
    m_tilesGrid->setSpacing(16);
    column->addLayout(m_tilesGrid);
    m_noMakes = new QLabel(m_tilesArea);
    m_noMakes->setObjectName(QStringLiteral("label_NoVehicleMake"));
    m_noMakes->setWordWrap(true);
    m_noMakes->setAlignment(Qt::AlignCenter);
    column->addWidget(m_noMakes);
    column->addStretch(1);
    hostLayout(host)->addWidget(m_tilesArea);
    refreshTiles();
}

void DiagnosisController::buildNoNet(QWidget* host)
{
    m_noNet = new QLabel(host);
    m_noNet->setObjectName(QStringLiteral("label_NoInternet"));
    m_noNet->setAlignment(Qt::AlignCenter);
    m_noNet->setWordWrap(true);
    hostLayout(host)->addWidget(m_noNet);
    retranslate();
}

// One tile per make folder found now; the tiles are made again each time the
// page opens, so a make folder added or removed shows at once.
void DiagnosisController::refreshTiles()
{
    if (!m_tilesGrid)
        return;
    for (QDiagCarModel* tile : m_tiles)
        tile->deleteLater();
    m_tiles.clear();
    const QStringList makes = m_folder.makes();
    for (int i = 0; i < makes.size(); ++i) {
        auto* tile = new QDiagCarModel(makes.at(i), m_tilesArea);
        tile->setObjectName(QStringLiteral("CarModel_%1").arg(i + 1, 2, 10, QLatin1Char('0')));
        tile->installEventFilter(this);
        m_tilesGrid->addWidget(tile, i / kTileColumns, i % kTileColumns, Qt::AlignLeft | Qt::AlignTop);
        m_tiles << tile;
    }
    m_noMakes->setVisible(m_tiles.isEmpty());
    retranslate();
}

void DiagnosisController::retranslate()
{
    if (m_noNet)
        m_noNet->setText(tr("No internet connection, please \ncheck your network connection."));
    if (m_noMakes)
        m_noMakes->setText(tr("No vehicle make is installed in the diagnosis folder."));
    for (QDiagCarModel* tile : m_tiles)
        tile->retranslate();
}

bool DiagnosisController::eventFilter(QObject* watched, QEvent* event)
{
    if (m_host && watched == m_host->frame()) {
        if (event->type() == QEvent::LanguageChange)
            retranslate();
        return QObject::eventFilter(watched, event);
    }
    auto* tile = qobject_cast<QDiagCarModel*>(watched);
    if (tile && m_tiles.contains(tile)) {
        bool chosen = false;
        if (event->type() == QEvent::MouseButtonPress)
            chosen = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            chosen = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
        }
        if (chosen) {
            // After the event: the choice may open dialogs and rebuild the tiles.
            const QString make = tile->make();
            QMetaObject::invokeMethod(
                this, [this, make] { Solt_Marrowet_Entry_Daig(make); }, Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}

void DiagnosisController::startDiagnosis()
{
    m_gateState = 1;
    m_timer.start();
}

void DiagnosisController::SlotsDiagTimeout()
{
    m_timer.stop();
    if (m_gateState != 1)
        return;
    m_gateState = 2;
    if (!m_gate())
        return; // the gate asked about the driver and may have opened the drivers page
    if (m_probing)
        return;
    m_probing = true;
    auto probe = m_internet;
    try {
        m_workers.start("diagnosis-internet", [this, probe] {
            const bool online = probe();
            appkit::postCall(this, [this, online] {
                m_probing = false;
                openEntry(online);
            });
        });
    } catch (const std::system_error& e) {
        m_probing = false;
        qCWarning(lcDiagnosis) << "no thread for the internet check:" << e.what();
    }
}

void DiagnosisController::openEntry(bool online)
{
    if (!m_host)
        return;
    // The texts in the language of now, also when its change did not reach the pages.
    retranslate();
    if (!online) {
        m_host->showPage(Pages::KestrixNoNet);
        emit entryDecided(Pages::KestrixNoNet);
        return;
    }
    m_host->showPage(Pages::Kestrix);
    refreshTiles();
    startVersionChecks();
    emit entryDecided(Pages::Kestrix);
}

// The newest version of every make folder, in the background, for the make
// upgrade offered when a tile is chosen.
void DiagnosisController::startVersionChecks()
{
    const QStringList makes = m_folder.makes();
    if (m_checking || makes.isEmpty())
        return;
    m_checking = true;
    const diagnosis::ComponentUpdates work = updates();
    try {
        m_workers.start("diagnosis-versions", [this, work, makes] {
            const diagnosis::Sleep sleep = [this](std::chrono::milliseconds ms) { return m_workers.sleepFor(ms); };
            for (const QString& make : makes) {
                if (work.checkFolderVersion(make, sleep) == diagnosis::ComponentUpdates::Check::Stopped)
                    return;
            }
            appkit::postCall(this, [this] {
                m_checking = false;
                emit versionsChecked();
            });
        });
    } catch (const std::system_error& e) {
        m_checking = false;
        qCWarning(lcDiagnosis) << "no thread for the version checks:" << e.what();
    }
}

void DiagnosisController::startReplacementDownloads()
{
    if (m_replacing)
        return;
    m_replacing = true;
    const diagnosis::ComponentUpdates work = updates();
    try {
        m_workers.start("diagnosis-replacements", [this, work] {
            const QStringList failed
                = work.downloadReplacements([this](std::chrono::milliseconds ms) { return m_workers.sleepFor(ms); });
            if (m_workers.stopping())
                return;
            appkit::postCall(this, [this, failed] { emit replacementsDownloaded(failed); });
        });
    } catch (const std::system_error& e) {
        qCWarning(lcDiagnosis) << "no thread for the replacement downloads:" << e.what();
    }
}

void DiagnosisController::Solt_Marrowet_Entry_Daig(const QString& make)
{
    if (!m_host || m_upgrading || !diagnosis::ComponentFolder::validMakeName(make))
        return;
    const diagnosis::ComponentUpdates work = updates();
    const diagnosis::ComponentUpdates::Offer offer = work.upgradeOffer(make);
    if (offer.offered) {
        QWidget* frame = m_host->frame();
        MessageYesNo box(tr("New version detected. Whether to upgrade?"), frame);
        box.move(frame->pos() + QPoint(250, 165));
        if (box.exec() == QDialog::Accepted) {
            m_upgrading = true;
            m_host->setBusy(true);
            m_host->toast(tr("Downloading..."), kToastMs);
            const QString version = offer.newest;
            try {
                m_workers.start("diagnosis-upgrade", [this, work, make, version] {
                    QString why;
                    const bool ok = work.upgradeMake(
                        make, version, [this](std::chrono::milliseconds ms) { return m_workers.sleepFor(ms); }, &why);
                    if (m_workers.stopping())
                        return;
                    if (!ok)
                        qCWarning(lcDiagnosis).noquote() << "upgrade of" << make << "failed:" << why;
                    appkit::postCall(this, [this, make, ok] {
                        m_upgrading = false;
                        if (m_host) {
                            m_host->setBusy(false);
                            if (!ok)
                                m_host->toast(tr("Download failed"), kToastMs);
                        }
                        emit upgradeFinished(make, ok);
                        // The make's library as it is now: the new one, or the old one kept.
                        loadVehicleDiagnosis(make);
                    });
                });
            } catch (const std::system_error& e) {
                m_upgrading = false;
                m_host->setBusy(false);
                m_host->toast(tr("Download failed"), kToastMs);
                qCWarning(lcDiagnosis) << "no thread for the upgrade:" << e.what();
            }
            return;
        }
    }
    loadVehicleDiagnosis(make);
}

void DiagnosisController::reportLoadError(const QString& library)
{
    QString text;
    if (library == QLatin1String(diagnosis::kIHttp))
        text = tr("Load IHttp.dll err!");
    else if (library == QLatin1String(diagnosis::kPubFunctional))
        text = tr("Load PubFunctional.dll err!");
    else if (library == QLatin1String(diagnosis::kStdComm))
        text = tr("Load StdComm.dll err!");
    else if (library == QLatin1String(diagnosis::kStdDispQt))
        text = tr("Load StdDispQt.dll err!");
    else
        text = tr("Load Diag.dll err!");
    AlertDialog::ask(m_host ? m_host->frame() : nullptr, QStringLiteral("err"), text, tr("OK"),
        AlertDialog::StylePrimary, QString(), AlertDialog::StyleSecondary);
}

void DiagnosisController::loadVehicleDiagnosis(const QString& make)
{
    if (!m_host)
        return;
    const diagnosis::LoadOutcome outcome = diagnosis::loadComponent(m_folder);
    if (!outcome.entries) {
        qCWarning(lcDiagnosis).noquote() << "diagnosis component refused:" << outcome.detail;
        reportLoadError(outcome.failedLibrary);
        return;
    }
    // Replacements for the next start, fetched while this one runs.
    startReplacementDownloads();
    QWidget* page = m_host->pageHost(Pages::Diag);
    diagnosis::startDisplay(*outcome.entries, m_folder, english(), page, make);
    m_host->showPage(Pages::Diag);
    emit componentStarted(make);
    enterMake(make);
}

void DiagnosisController::enterMake(const QString& make)
{
    if (!QFileInfo::exists(m_folder.makeLibrary(make))) {
        qCWarning(lcDiagnosis).noquote() << "no make library in" << m_folder.makeFolder(make);
        reportLoadError(QLatin1String(diagnosis::kMakeLibrary));
        emit makeEntered(make, false);
        return;
    }
    const std::shared_ptr<Relay> relay = m_relay;
    const diagnosis::ComponentFolder folder = m_folder;
    try {
        std::thread([relay, folder, make] {
            const diagnosis::MakeOutcome outcome = diagnosis::enterMake(folder, make);
            if (!outcome.ok)
                qCWarning(lcDiagnosis).noquote() << "make entry of" << make << "failed:" << outcome.detail;
            std::lock_guard<std::mutex> lock(relay->mutex);
            DiagnosisController* target = relay->target;
            if (!target)
                return;
            const bool ok = outcome.ok;
            const bool loadFailed = !outcome.ok && outcome.code == 0;
            appkit::postCall(target, [target, make, ok, loadFailed] {
                if (loadFailed)
                    target->reportLoadError(QLatin1String(diagnosis::kMakeLibrary));
                emit target->makeEntered(make, ok);
            });
        }).detach();
    } catch (const std::system_error& e) {
        qCWarning(lcDiagnosis) << "no thread for the make entry:" << e.what();
        emit makeEntered(make, false);
    }
}
