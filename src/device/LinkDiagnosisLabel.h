// The "Why?" link of the device page, shown while no adapter is found: a
// click runs LinkDiagnosis on the label's worker (its checks talk to the
// system and the adapter, with bounded waits) and tells the technician in
// plain words which link is broken.
#pragma once

#include "device/LinkDiagnosis.h"

#include "kit/WorkerGroup.h"

#include <QLabel>

class LinkDiagnosisLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkDiagnosisLabel(QWidget* parent = nullptr);
    ~LinkDiagnosisLabel() override;

    // The checks' answers (tests); default: the machine's.
    void setProbes(LinkDiagnosis::Probes probes) { m_probes = std::move(probes); }
    bool running() const { return m_running; }

public slots:
    // Runs the checks (ignored while a run is going on).
    void diagnose();

signals:
    // The answer, after it was shown.
    void diagnosed(const QString& text);

protected:
    void changeEvent(QEvent* event) override;

private:
    Q_SIGNAL void finished(const QString& text);
    void onFinished(const QString& text);
    void showLink();

    LinkDiagnosis::Probes m_probes;
    bool m_running = false;
    WorkerGroup m_workers; // last: joined first
};
