#include "kit/CarouselImageWindow.h"

#include "BuildConfig.h"
#include "kit/Accessibility.h"
#include "kit/Pictures.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimeLine>
#include <QVBoxLayout>
#include <QtMath>

namespace {
// The fade is drawn in this many steps, and the time line ticks once per step
// rather than at the animation framework's 60 Hz: each step blends two full
// pictures and sends them to the display, which is most of what an idle window
// on the device page costs (ten steps: about 0.3 % of a core).
constexpr int kFadeSteps = 5;
constexpr int kIndicatorSize = 12;
constexpr int kIndicatorSpacing = 8;

// An indicator draws its own 12-pixel dot: a style sheet button would look up
// its rules and lay out its border image again on every fade step, as the
// picture under it repaints.
class IndicatorButton : public QPushButton {
public:
    explicit IndicatorButton(QWidget* parent)
        : QPushButton(parent)
    {
        setCheckable(true);
        setFixedSize(kIndicatorSize, kIndicatorSize);
        setFocusPolicy(Qt::NoFocus);
        // The themes' rule for the device page's buttons (34 px high) must not stretch the dot.
        setProperty("carouselDot", true);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(rect(), isChecked() ? m_shown : m_other);
    }

private:
    const QPixmap m_shown = loadPicture(QStringLiteral(":/image/AD_Disp.png"));
    const QPixmap m_other = loadPicture(QStringLiteral(":/image/AD_NoDisp.png"));
};
} // namespace

CarouselImageWindow::CarouselImageWindow(QWidget* parent)
    : QWidget(parent)
    , m_background(loadPicture(QStringLiteral(":/Resources/CarouselImageBack.png")))
    , m_productPage(QString::fromLatin1(BuildConfig::kMakerWebsite))
    , m_indicators(new QButtonGroup(this))
    , m_fade(new QTimeLine(kFadeMs, this))
{
    m_indicators->setExclusive(true);
    connect(m_indicators, &QButtonGroup::idClicked, this, &CarouselImageWindow::onImageSwitchButtonClicked);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 10);
    column->addStretch(1);
    m_indicatorRow = new QHBoxLayout;
    m_indicatorRow->setSpacing(kIndicatorSpacing);
    column->addLayout(m_indicatorRow);

    m_fade->setUpdateInterval(kFadeMs / kFadeSteps);
    m_fade->setEasingCurve(QEasingCurve::Linear);
    connect(m_fade, &QTimeLine::valueChanged, this,
        [this](qreal progress) { setProperty("ImageOpacity", 1.0 - progress); });
    connect(m_fade, &QTimeLine::finished, this, [this] { setProperty("ImageOpacity", 0.0); });

    m_switchTimer.setInterval(kSwitchIntervalMs);
    connect(&m_switchTimer, &QTimer::timeout, this, &CarouselImageWindow::onImageChangeTimeout);
    setCursor(Qt::PointingHandCursor);
    // Every repaint covers the whole widget: the page behind it is not painted first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CarouselImageWindow::setImages(const QList<QPixmap>& images)
{
    m_fade->stop();
    m_images = images;
    m_scaledImages.clear();
    m_previous = -1;
    m_current = m_images.isEmpty() ? -1 : 0;
    m_imageOpacity = 0.0;
    rebuildIndicators();
    if (m_images.size() > 1 && isVisible())
        m_switchTimer.start();
    else
        m_switchTimer.stop();
    update();
}

void CarouselImageWindow::addImage(const QPixmap& image)
{
    m_images.append(image);
    m_scaledImages.clear();
    if (m_current < 0)
        m_current = 0;
    rebuildIndicators();
    if (m_images.size() > 1 && !m_switchTimer.isActive() && isVisible())
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
            auto* button = new IndicatorButton(this);
            button->setObjectName(QStringLiteral("Btn_Carousel_%1").arg(i));
            m_indicators->addButton(button, i);
            m_indicatorRow->addWidget(button);
        }
        m_indicators->button(m_current)->setChecked(true);
    }
    m_indicatorRow->addStretch(1);
    nameIndicators();
}

void CarouselImageWindow::nameIndicators()
{
    const QList<QAbstractButton*> buttons = m_indicators->buttons();
    for (QAbstractButton* button : buttons) {
        const int number = m_indicators->id(button) + 1;
        Accessibility::describe(
            button, tr("Picture %1 of %2").arg(number).arg(buttons.size()), tr("Shows this picture"));
    }
}

void CarouselImageWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        nameIndicators();
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        m_scaledImages.clear(); // laid on the old window colour

    QWidget::changeEvent(event);
}

void CarouselImageWindow::setImageOpacity(double opacity)
{
    const bool newStep = qRound(opacity * kFadeSteps) != qRound(m_imageOpacity * kFadeSteps);
    m_imageOpacity = opacity;
    if (newStep)
        update();
}

// Pictures scaled once per size to the widget's device pixels and laid on the
// background, so every picture is opaque and drawn 1:1: a repaint copies one and
// a fade step blends one opaque picture over another, the cheapest blend there
// is. A picture with transparency would cost a full blend per step, and one in
// logical pixels on a screen scaled by a fraction (1.25, or 1.04 on a 100 dpi
// display) would be resampled pixel by pixel on every step.
void CarouselImageWindow::ensureScaled(qreal ratio)
{
    QSize target = size();
    if (ratio != 1.0) // one device pixel more on each side: the widget's edges fall between pixels
        target = QSize(qCeil(width() * ratio) + 2, qCeil(height() * ratio) + 2);
    if (m_scaledSize == target && m_scaledImages.size() == m_images.size())
        return;
    m_scaledSize = target;
    m_scaledImages.clear();
    m_scaledBackground = m_background.isNull()
        ? QPixmap()
        : m_background.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (const QPixmap& image : qAsConst(m_images)) {
        QPixmap scaled = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (scaled.hasAlphaChannel())
            scaled = flattened(scaled);
        m_scaledImages << scaled;
    }
}

QPixmap CarouselImageWindow::flattened(const QPixmap& picture) const
{
    QPixmap flat(m_scaledSize);
    flat.fill(palette().window().color());
    QPainter painter(&flat);
    if (!m_scaledBackground.isNull())
        painter.drawPixmap(0, 0, m_scaledBackground);
    painter.drawPixmap(0, 0, picture);
    return flat;
}

// Nothing moves while the carousel cannot be seen (another page, the tray).
void CarouselImageWindow::showEvent(QShowEvent* event)
{
    if (m_images.size() > 1 && !m_switchTimer.isActive())
        m_switchTimer.start();
    QWidget::showEvent(event);
}

void CarouselImageWindow::hideEvent(QHideEvent* event)
{
    m_switchTimer.stop();
    m_fade->stop();
    m_imageOpacity = 0.0;
    QWidget::hideEvent(event);
}

void CarouselImageWindow::showImage(int index)
{
    if (index < 0 || index >= m_images.size() || index == m_current)
        return;
    // With no fade under way the screen already shows the old picture as the
    // fade's first frame does (it is opaque): nothing to repaint before the first step.
    const bool settled = m_imageOpacity <= 0.0;
    m_previous = m_current;
    m_current = index;
    if (QAbstractButton* button = m_indicators->button(index))
        button->setChecked(true);
    m_fade->stop();
    if (settled)
        m_imageOpacity = 1.0;
    else
        setImageOpacity(1.0);
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
    const qreal ratio = devicePixelRatioF();
    ensureScaled(ratio);
    QPainter painter(this);
    if (ratio != 1.0) {
        // From here on in device pixels, so the pictures are copied, not resampled.
        painter.setWorldTransform(QTransform::fromScale(1.0 / ratio, 1.0 / ratio));
        painter.translate(-1, -1);
    }
    if (m_current >= 0 && m_current < m_scaledImages.size()) {
        painter.drawPixmap(0, 0, m_scaledImages.at(m_current));
    } else {
        if (m_scaledBackground.isNull() || m_scaledBackground.hasAlphaChannel())
            painter.fillRect(QRect(QPoint(), m_scaledSize), palette().window());
        if (!m_scaledBackground.isNull())
            painter.drawPixmap(0, 0, m_scaledBackground);
    }
    // The previous picture fades out over the current one.
    if (m_previous >= 0 && m_previous < m_scaledImages.size() && m_imageOpacity > 0.0) {
        painter.setOpacity(qRound(m_imageOpacity * kFadeSteps) / double(kFadeSteps));
        painter.drawPixmap(0, 0, m_scaledImages.at(m_previous));
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
