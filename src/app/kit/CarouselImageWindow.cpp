#include "app/kit/CarouselImageWindow.h"

#include "BuildConfig.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kIndicatorSize = 12;
constexpr int kIndicatorSpacing = 8;

const QString kIndicatorStyle = QStringLiteral("QPushButton{border-image:url(:/image/AD_NoDisp.png);}"
                                               "QPushButton:checked{border-image:url(:/image/AD_Disp.png);}");
} // namespace

CarouselImageWindow::CarouselImageWindow(QWidget* parent)
    : QWidget(parent)
    , m_background(QStringLiteral(":/Resources/CarouselImageBack.png"))
    , m_productPage(QString::fromLatin1(BuildConfig::kMakerWebsite))
    , m_indicators(new QButtonGroup(this))
    , m_fade(new QPropertyAnimation(this, "ImageOpacity", this))
{
    m_indicators->setExclusive(true);
    connect(m_indicators, &QButtonGroup::idClicked, this, &CarouselImageWindow::onImageSwitchButtonClicked);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 10);
    column->addStretch(1);
    m_indicatorRow = new QHBoxLayout;
    m_indicatorRow->setSpacing(kIndicatorSpacing);
    column->addLayout(m_indicatorRow);

    m_fade->setDuration(kFadeMs);
    m_fade->setStartValue(1.0);
    m_fade->setEndValue(0.0);

    m_switchTimer.setInterval(kSwitchIntervalMs);
    connect(&m_switchTimer, &QTimer::timeout, this, &CarouselImageWindow::onImageChangeTimeout);
    setCursor(Qt::PointingHandCursor);
}

void CarouselImageWindow::setImages(const QList<QPixmap>& images)
{
    m_fade->stop();
    m_images = images;
    m_previous = -1;
    m_current = m_images.isEmpty() ? -1 : 0;
    m_imageOpacity = 0.0;
    rebuildIndicators();
    if (m_images.size() > 1)
        m_switchTimer.start();
    else
        m_switchTimer.stop();
    update();
}

void CarouselImageWindow::addImage(const QPixmap& image)
{
    m_images.append(image);
    if (m_current < 0)
        m_current = 0;
    rebuildIndicators();
    if (m_images.size() > 1 && !m_switchTimer.isActive())
        m_switchTimer.start();
    update();
}

void CarouselImageWindow::rebuildIndicators()
{
    for (QAbstractButton* button : m_indicators->buttons()) {
        m_indicators->removeButton(button);
        delete button;
    }
    while (QLayoutItem* item = m_indicatorRow->takeAt(0))
        delete item;

    m_indicatorRow->addStretch(1);
    // A single picture needs no indicator.
    if (m_images.size() > 1) {
        for (int i = 0; i < m_images.size(); ++i) {
            auto* button = new QPushButton(this);
            button->setObjectName(QStringLiteral("Btn_Carousel_%1").arg(i));
            button->setCheckable(true);
            button->setFixedSize(kIndicatorSize, kIndicatorSize);
            button->setStyleSheet(kIndicatorStyle);
            button->setFocusPolicy(Qt::NoFocus);
            m_indicators->addButton(button, i);
            m_indicatorRow->addWidget(button);
        }
        m_indicators->button(m_current)->setChecked(true);
    }
    m_indicatorRow->addStretch(1);
}

void CarouselImageWindow::setImageOpacity(double opacity)
{
    m_imageOpacity = opacity;
    update();
}

void CarouselImageWindow::showImage(int index)
{
    if (index < 0 || index >= m_images.size() || index == m_current)
        return;
    m_previous = m_current;
    m_current = index;
    if (QAbstractButton* button = m_indicators->button(index))
        button->setChecked(true);
    m_fade->stop();
    m_fade->start();
}

void CarouselImageWindow::onImageChangeTimeout()
{
    if (m_images.size() < 2)
        return;
    showImage((m_current + 1) % m_images.size());
}

void CarouselImageWindow::onImageSwitchButtonClicked(int index)
{
    showImage(index);
    if (m_images.size() > 1)
        m_switchTimer.start(kSwitchIntervalMs); // a fresh full period after a manual jump
}

void CarouselImageWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (!m_background.isNull())
        painter.drawPixmap(rect(), m_background);
    if (m_current >= 0 && m_current < m_images.size())
        painter.drawPixmap(rect(), m_images.at(m_current));
    // The previous picture fades out over the current one.
    if (m_previous >= 0 && m_previous < m_images.size() && m_imageOpacity > 0.0) {
        painter.setOpacity(m_imageOpacity);
        painter.drawPixmap(rect(), m_images.at(m_previous));
    }
}

void CarouselImageWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->pos()) && m_current >= 0) {
        emit imageClicked(m_current);
        if (m_productPage.isValid())
            QDesktopServices::openUrl(m_productPage);
    }
    QWidget::mouseReleaseEvent(event);
}
