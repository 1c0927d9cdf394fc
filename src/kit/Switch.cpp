#include "kit/Switch.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>

namespace {
constexpr int kAnimationMs = 200;
constexpr double kThumbMargin = 2.0;
const QSize kPreferredSize(56, 30);
} // namespace

Switch::Switch(QWidget* parent)
    : QWidget(parent)
    , m_onTrackColor(QStringLiteral("#2B8FCF"))
    , m_offTrackColor(Qt::lightGray)
    , m_thumbColor(Qt::white)
    , m_animation(new QPropertyAnimation(this, "thumbPosition", this))
{
    m_animation->setDuration(kAnimationMs);
    m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    setMinimumSize(kPreferredSize);
    setCursor(Qt::PointingHandCursor);
}

QSize Switch::sizeHint() const
{
    return kPreferredSize;
}

QSize Switch::minimumSizeHint() const
{
    return kPreferredSize;
}

void Switch::setOnTrackColor(const QColor& color)
{
    m_onTrackColor = color;
    update();
}

void Switch::setOffTrackColor(const QColor& color)
{
    m_offTrackColor = color;
    update();
}

void Switch::setThumbColor(const QColor& color)
{
    m_thumbColor = color;
    update();
}

void Switch::setThumbPosition(double position)
{
    m_thumbPosition = position;
    update();
}

double Switch::restPosition(bool state) const
{
    return state ? width() - m_thumbRadius - kThumbMargin : m_thumbRadius + kThumbMargin;
}

void Switch::setState(bool state)
{
    m_state = state;
    m_animation->stop();
    setThumbPosition(restPosition(m_state));
}

void Switch::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_animation->stop();
    setThumbPosition(restPosition(m_state));
}

void Switch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);

    const double top = (height() - m_trackHeight) / 2.0;
    const double radius = m_trackHeight / 2.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_state ? m_onTrackColor : m_offTrackColor);
    painter.drawRoundedRect(QRectF(0.0, top, width(), m_trackHeight), radius, radius);

    painter.setPen(QPen(QColor(0, 0, 0, 30), 1.0));
    painter.setBrush(m_thumbColor);
    painter.drawEllipse(QPointF(m_thumbPosition, top + radius), m_thumbRadius, m_thumbRadius);
}

void Switch::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const double from = m_thumbPosition;
    m_state = !m_state;
    emit stateChanged(m_state);
    m_animation->stop();
    m_animation->setStartValue(from);
    m_animation->setEndValue(restPosition(m_state));
    m_animation->start();
    update();
}
