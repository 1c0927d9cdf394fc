#include "Plot.h"

#include <QLineF>
#include <QPainter>

#include <algorithm>
#include <cmath>

Plot::Plot(QWidget* parent)
    : QWidget(parent)
{
    setMinimumHeight(140);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Plot::setTitle(const QString& title, const QString& unit)
{
    m_title = title;
    m_unit = unit;
    update();
}

void Plot::addSample(qint64 ms, double value)
{
    if (!std::isfinite(value))
        return;
    m_samples.push_back({ms, value});
    while (!m_samples.empty() && m_samples.front().ms < ms - kWindowMs)
        m_samples.pop_front();
    update();
}

void Plot::clear()
{
    m_samples.clear();
    update();
}

double Plot::lastValue() const
{
    return m_samples.empty() ? std::nan("") : m_samples.back().value;
}

void Plot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(255, 255, 255));
    const QFontMetrics fm(font());
    const int left = fm.horizontalAdvance(QStringLiteral("00000.0")) + 8;
    const QRect area(left, fm.height() + 6, width() - left - 10, height() - 2 * fm.height() - 14);
    p.setPen(QColor(60, 60, 60));
    p.drawText(QRect(left, 2, width() - left, fm.height()), Qt::AlignLeft,
        m_unit.isEmpty() ? m_title : QStringLiteral("%1 (%2)").arg(m_title, m_unit));
    p.setPen(QColor(200, 200, 200));
    p.drawRect(area);
    if (m_samples.empty() || area.width() < 10 || area.height() < 10)
        return;
    double lo = m_samples.front().value, hi = lo;
    for (const Sample& s : m_samples) {
        lo = std::min(lo, s.value);
        hi = std::max(hi, s.value);
    }
    if (hi - lo < 1e-9) {
        lo -= 1;
        hi += 1;
    }
    const double margin = (hi - lo) * 0.05;
    lo -= margin;
    hi += margin;
    const qint64 end = m_samples.back().ms;
    const qint64 start = end - kWindowMs;
    const auto x = [&](qint64 ms) { return area.left() + double(ms - start) * area.width() / kWindowMs; };
    const auto y = [&](double v) { return area.bottom() - (v - lo) * area.height() / (hi - lo); };
    p.setPen(QColor(60, 60, 60));
    p.drawText(
        QRect(0, area.top() - fm.height() / 2, left - 4, fm.height()), Qt::AlignRight, QString::number(hi, 'f', 1));
    p.drawText(
        QRect(0, area.bottom() - fm.height() / 2, left - 4, fm.height()), Qt::AlignRight, QString::number(lo, 'f', 1));
    p.drawText(
        QRect(area.left(), area.bottom() + 2, area.width(), fm.height()), Qt::AlignLeft, QStringLiteral("-60 s"));
    p.drawText(QRect(area.left(), area.bottom() + 2, area.width(), fm.height()), Qt::AlignRight, QStringLiteral("0 s"));
    // Separate segments, not one path: the raster engine strokes a long,
    // jagged path as one self-crossing outline, about ten times the cost of
    // the same segments drawn alone (60 ms against 6 ms for a full minute of
    // a value that swings), and the plot repaints at every sample.
    QVector<QLineF> segments;
    segments.reserve(static_cast<int>(m_samples.size()));
    QPointF previous(x(m_samples.front().ms), y(m_samples.front().value));
    for (const Sample& s : m_samples) {
        const QPointF point(x(s.ms), y(s.value));
        segments.push_back(QLineF(previous, point));
        previous = point;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(25, 118, 210), 2));
    p.drawLines(segments);
}
