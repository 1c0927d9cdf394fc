// The component's pages inside the manager's diagnosis page: vehicle
// identification, fault codes (read, clear with a confirmation), live data
// (values and a plot) and a routine with its progress. All bus work runs on
// the worker thread; this widget only shows results.
#pragma once

#include "Worker.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QWidget>

class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class Plot;

class DiagWidget : public QWidget {
    Q_OBJECT
public:
    // Live values are asked this often while the live page shows.
    static constexpr int kLiveIntervalMs = 100;

    DiagWidget(const QString& vehDiagFolder, const QString& language, QWidget* parent);
    ~DiagWidget() override;

    // Selects the make; its pages start once its Diag library registered it.
    void setMake(const QString& make);

private:
    void makeReady();
    void showPage(int index);
    void setBusy(bool busy, const QString& message = QString());
    void showMessage(const QString& message, bool problem);

    void onIdentified(const QString& vin, const QVector<EcuRow>& ecus, const QString& message);
    void onDtcsRead(const QVector<DtcRow>& dtcs, const QString& message);
    void onCleared(bool ok, const QString& message);
    void onLiveRead(const QVector<double>& values, const QString& message);
    void onRoutineDone(bool ok, const QString& message);
    void liveTick();

    QWidget* buildIdentPage();
    QWidget* buildDtcPage();
    QWidget* buildLivePage();
    QWidget* buildRoutinePage();

    QString m_make;
    QString m_language;
    bool m_ready = false;
    bool m_busy = false;
    bool m_liveBusy = false;
    int m_registryToken = 0;
    QThread m_thread;
    Worker* m_worker = nullptr;

    QLabel* m_title = nullptr;
    QLabel* m_message = nullptr;
    QStackedWidget* m_stack = nullptr;
    QList<QPushButton*> m_actions;
    QList<QPushButton*> m_nav;
    QLabel* m_vin = nullptr;
    QTableWidget* m_ecus = nullptr;
    QTableWidget* m_dtcs = nullptr;
    QFrame* m_confirm = nullptr;
    QVector<QLabel*> m_liveValues;
    QComboBox* m_plotChoice = nullptr;
    Plot* m_plot = nullptr;
    QTimer* m_liveTimer = nullptr;
    QElapsedTimer m_liveClock;
    QLabel* m_routineTitle = nullptr;
    QProgressBar* m_routineBar = nullptr;
    QLabel* m_routineResult = nullptr;
    vehdiag::MakeDefinition m_definition;
};
