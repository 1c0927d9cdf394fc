// The bus work of the display library, on its own thread: one Link to the
// adapter, opened at the first operation and closed after a quiet while so
// other programs can use the adapter. Slots are invoked queued from the GUI
// thread; results return as queued signals.
#pragma once

#include "Comm.h"
#include "Pub.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <atomic>
#include <memory>

struct EcuRow {
    QString title;
    QString bus;
    bool found = false;
    QString partNumber;
    QString softwareNumber;
    int dtcCount = -1;
    QString problem;
};

struct DtcRow {
    QString ecu;
    QString code;
    QString status;
    QString text;
};

Q_DECLARE_METATYPE(EcuRow)
Q_DECLARE_METATYPE(DtcRow)

class Worker : public QObject {
    Q_OBJECT
public:
    // A link stays open this long after the last operation.
    static constexpr int kIdleCloseMs = 10000;

    Worker(QString fallbackFolder, QString adapter, QString language);
    ~Worker() override;

    // Ends the request in progress and every later one at once: the pages
    // are going away (any thread).
    void cancel() { m_cancel = true; }

public slots:
    void setMake(const QString& make);
    void identify();
    void readDtcs();
    void clearDtcs();
    void readLive();
    void runRoutine();
    void closeLink();

signals:
    void identified(const QString& vin, const QVector<EcuRow>& ecus, const QString& message);
    void dtcsRead(const QVector<DtcRow>& dtcs, const QString& message);
    void cleared(bool ok, const QString& message);
    void liveRead(const QVector<double>& values, const QString& message);
    void routineProgress(int percent);
    void routineDone(bool ok, const QString& message);

private:
    bool ready(QString* message);
    void done();
    QString failureText(const vehdiag::Outcome& o, const QString& ecu) const;
    QString ecuTitle(const vehdiag::EcuDefinition& e) const;
    void finishIdentify(const QString& message);
    // The ECU said something (even a refusal).
    static bool answered(const vehdiag::Outcome& o);
    // An outcome that is the adapter's or library's, not an ECU's: its text.
    bool adapterFailure(const std::map<std::uint32_t, vehdiag::Outcome>& outcomes, QString* message) const;
    vehdiag::Outcome checked(const vehdiag::EcuDefinition& e, const vehdiag::Bytes& data);

    QString m_fallback;
    QString m_adapter;
    QString m_language;
    std::unique_ptr<vehdiag::MakeDefinition> m_make;
    std::unique_ptr<vehdiag::Link> m_link;
    QTimer m_idle;
    std::atomic<bool> m_cancel{false};
};

// The text of a negative response code (ISO 14229-1), translated.
QString nrcText(std::uint8_t nrc);
// The status byte of a DTC in words, translated: "confirmed, pending (0x2F)".
QString dtcStatusText(std::uint8_t status);
