// The vehicle diagnosis subsystem: the way in (the navigation button starts
// the 500 ms diagnosis timer; its slot runs the J2534 driver gate once and
// opens the make tiles, page 2, or the no-internet page, 18), the make tiles
// (QDiagCarModel, one per make folder under "VehDiag", watched through the
// event filter), and the diagnosis page (19) that hosts the diagnosis
// component. The component's libraries are loaded on the GUI thread
// (ComponentLoader), the make's entry, the downloads and the version checks
// run on workers; their results come back as queued calls, so the GUI thread
// never waits and nothing they touch is gone when they report.
#pragma once

#include "diagnosis/ComponentFolder.h"
#include "diagnosis/ComponentUpdates.h"

#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class QDiagCarModel;
class QLabel;
class QGridLayout;

class DiagnosisController : public QObject, public Subsystem {
    Q_OBJECT
public:
    static constexpr int kDiagTimerMs = 500;

    explicit DiagnosisController(QObject* parent = nullptr);
    ~DiagnosisController() override;

    void attach(SubsystemHost& host) override;
    void stop() override;

    // The J2534 driver gate: true when the driver is installed; otherwise it
    // has asked the technician itself (default: passes).
    void setGate(std::function<bool()> gate) { m_gate = std::move(gate); }
    // The internet check (default: the account library's), run on a worker.
    void setInternetProbe(std::function<bool()> probe) { m_internet = std::move(probe); }
    // The "VehDiag" folder (default: beside the program).
    void setComponentFolder(const QString& vehDiagFolder);
    // The file server's base, ending with "/" (default: the build's).
    void setFileServerBase(const QString& base) { m_fileServerBase = base; }
    void setUpdatePolicy(const diagnosis::UpdatePolicy& policy) { m_policy = policy; }

    const diagnosis::ComponentFolder& componentFolder() const { return m_folder; }
    QTimer* diagnosisTimer() { return &m_timer; }
    // The tiles shown now, in order (objectNames "CarModel_01", ...).
    QList<QDiagCarModel*> tiles() const { return m_tiles; }

public slots:
    // The navigation button: the gate is asked once more, after 500 ms.
    void startDiagnosis();
    // The diagnosis timer: stops itself, runs the gate once per start and
    // opens the tiles or the no-internet page.
    void SlotsDiagTimeout();
    // A tile was chosen: the make upgrade when one is offered, then the load.
    void Solt_Marrowet_Entry_Daig(const QString& make);
    // Loads the component for the make and shows the diagnosis page.
    void loadVehicleDiagnosis(const QString& make);

signals:
    // The tiles page or the no-internet page was opened.
    void entryDecided(int page);
    // The component was started for the make (the diagnosis page is shown).
    void componentStarted(const QString& make);
    // The make's entry ended on its worker.
    void makeEntered(const QString& make, bool ok);
    // The background version checks of the make folders ended.
    void versionsChecked();
    // The replacements' download ended; the names that did not come.
    void replacementsDownloaded(const QStringList& failed);
    // The make upgrade's download ended.
    void upgradeFinished(const QString& make, bool ok);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Relay;

    void buildTiles(QWidget* host);
    void buildNoNet(QWidget* host);
    void refreshTiles();
    void retranslate();
    void openEntry(bool online);
    void startVersionChecks();
    void startReplacementDownloads();
    void enterMake(const QString& make);
    void reportLoadError(const QString& library);
    bool english() const;
    diagnosis::ComponentUpdates updates() const;

    SubsystemHost* m_host = nullptr;
    QTimer m_timer;
    int m_gateState = 1; // 1: ask at the next timeout; 2: asked for this press
    std::function<bool()> m_gate;
    std::function<bool()> m_internet;
    diagnosis::ComponentFolder m_folder;
    QString m_fileServerBase;
    diagnosis::UpdatePolicy m_policy;

    QWidget* m_tilesArea = nullptr;
    QGridLayout* m_tilesGrid = nullptr;
    QLabel* m_noMakes = nullptr;
    QLabel* m_noNet = nullptr;
    QList<QDiagCarModel*> m_tiles;

    bool m_checking = false;  // version checks running
    bool m_replacing = false; // replacements requested in this run
    bool m_upgrading = false; // a make upgrade running
    bool m_probing = false;   // an internet check running

    std::shared_ptr<Relay> m_relay; // the make entries' way back (detached threads)
    // Last: stopped first, while everything its workers use still exists.
    WorkerGroup m_workers;
};
