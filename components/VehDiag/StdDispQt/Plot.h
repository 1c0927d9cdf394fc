// A small time plot of one live value: the last minute as a line, with the
// value range and the time axis labelled. Painted with QPainter, no chart
// library.
#pragma once

#include <QVector>
#include <QWidget>

#include <deque>

class Plot : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int sampleCount READ sampleCount)
public:
    static constexpr qint64 kWindowMs = 60000;

    explicit Plot(QWidget* parent = nullptr);

    void setTitle(const QString& title, const QString& unit);
    // A sample at `ms` (monotonic); samples older than the window are dropped.
    void addSample(qint64 ms, double value);
    void clear();
    int sampleCount() const { return static_cast<int>(m_samples.size()); }
    double lastValue() const;

    QSize sizeHint() const override { return {480, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Sample {
        qint64 ms;
        double value;
    };
    std::deque<Sample> m_samples;
    QString m_title;
    QString m_unit;
};
