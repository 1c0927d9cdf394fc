#include "drivers/DriverItem.h"

#include "kit/Accessibility.h"
#include "kit/Pictures.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <limits>

namespace driverstyle {

namespace {
const char* const kLabelColours[]
    = {"black", "#707276", "lightGray", "#2B8FCF", "#B36800", "#E50113", "#2EA964", "#007AFF"};
const char* const kButtonRgb[] = {"0, 0, 0", "112, 114, 118", "211, 211, 211", "43, 143, 207", "179, 104, 0",
    "229, 1, 19", "46, 169, 100", "0, 122, 255"};
} // namespace

QString labelColour(int index)
{
    return QLatin1String(kLabelColours[qBound(0, index, 7)]);
}

QString buttonRgb(int index)
{
    return QLatin1String(kButtonRgb[qBound(0, index, 7)]);
}

QString button(Look look, int colour, int radius, const QString& padding, int minWidth, int height)
{
    QString style;
    switch (look) {
    case Look::Light:
        style = QStringLiteral(
            "QPushButton { border-radius: %1px; padding: %2; min-width: %3px; min-height: %5px; max-height: %5px;"
            " color: rgb(%4); background: rgba(%4, 0.10); border: 1px solid transparent; }"
            "QPushButton:hover { background: rgba(%4, 0.25); }"
            "QPushButton:pressed { color: white; background: rgba(%4, 0.5); }"
            "QPushButton:disabled { color: lightGray; background: rgba(%4, 0.15); }");
        break;
    case Look::Outlined:
        style = QStringLiteral(
            "QPushButton { border-radius: %1px; padding: %2; min-width: %3px; min-height: %5px; max-height: %5px;"
            " color: rgb(%4); background: rgba(%4, 0.15); border: 1px solid rgb(%4); }"
            "QPushButton:hover { background: rgba(%4, 0.25); }"
            "QPushButton:pressed { color: white; background: rgb(%4); }"
            "QPushButton:disabled { color: lightGray; border-color: lightGray; }");
        break;
    case Look::Filled:
        style = QStringLiteral(
            "QPushButton { border-radius: %1px; padding: %2; min-width: %3px; min-height: %5px; max-height: %5px;"
            " color: white; background: rgb(%4); border: none; }"
            "QPushButton:hover { background: rgba(%4, 0.75); }"
            "QPushButton:pressed { background: rgba(%4, 0.5); }"
            "QPushButton:disabled { background: rgba(%4, 0.25); }");
        break;
    }
    return style.arg(radius).arg(padding).arg(minWidth).arg(buttonRgb(colour)).arg(height);
}

QString link(const QString& padding, const QString& rgb)
{
    return QStringLiteral("QPushButton { padding: %1; color: rgba(%2, 1.0); background: none; border: none; outline: "
                          "none; }QPushButton:hover { color: rgba(%2, 0.75); }QPushButton:pressed { color: rgba(%2, "
                          "0.5); }QPushButton:disabled  { color: rgba(%2, 0.25); }")
        .arg(padding, rgb);
}

QString progressBar()
{
    return QStringLiteral("QProgressBar { background-color: lightGray; border: none; color: white; text-align: "
                          "center; }QProgressBar::chunk { background-color: #E50113; }");
}

} // namespace driverstyle

namespace {

using driverstyle::Look;

// The driver's picture (the make's badge, 80 pixels, shown at 40); a tile
// with its initials only if a build ever lacks it.
QPixmap logoOf(const DriverInfo& info, qreal ratio)
{
    const QPixmap picture = loadPicture(info.englishImage);
    if (!picture.isNull()) {
        QPixmap shown = picture.scaled(QSize(40, 40) * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        shown.setDevicePixelRatio(ratio);
        return shown;
    }
    QPixmap pixmap(40, 40);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(0.5, 0.5, 39, 39), 8, 8);
    const int hue = static_cast<int>(qHash(info.englishName) % 360);
    painter.fillPath(tile, QColor::fromHsl(hue, 110, 120));
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    const QString initials = info.englishName.left(info.englishName.startsWith(QLatin1String("J2534")) ? 5 : 3);
    font.setPixelSize(initials.size() > 3 ? 10 : 13);
    painter.setFont(font);
    painter.drawText(QRectF(0, 0, 40, 40), Qt::AlignCenter, initials.toUpper());
    return pixmap;
}

} // namespace

DriverItem::DriverItem(QWidget* parent)
    : QWidget(parent)
    , m_logo(new QLabel(this))
    , m_title(new QLabel(this))
    , m_subtitle(new QLabel(this))
    , m_action(new QPushButton(this))
    , m_status(new QLabel(this))
    , m_progress(new QProgressBar(this))
    , m_arrow(new QToolButton(this))
{
    setObjectName(QStringLiteral("DriverItem"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 6, 8, 6);
    layout->setSpacing(12);
    m_logo->setFixedSize(40, 40);
    layout->addWidget(m_logo);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title->setObjectName(QStringLiteral("lbl_DriverTitle"));
    m_subtitle->setObjectName(QStringLiteral("lbl_DriverSubtitle"));
    texts->addWidget(m_title);
    texts->addWidget(m_subtitle);
    layout->addLayout(texts, 1);
    m_progress->setObjectName(QStringLiteral("progressBar_Driver"));
    m_progress->setStyleSheet(driverstyle::progressBar());
    m_progress->setFixedSize(150, 16);
    m_progress->hide();
    layout->addWidget(m_progress);
    m_action->setObjectName(QStringLiteral("Btn_DriverAction"));
    m_action->setCursor(Qt::PointingHandCursor);
    layout->addWidget(m_action);
    m_status->setObjectName(QStringLiteral("lbl_DriverStatus"));
    layout->addWidget(m_status);
    m_arrow->setObjectName(QStringLiteral("Btn_DriverArrow"));
    m_arrow->setCheckable(true);
    m_arrow->setArrowType(Qt::RightArrow);
    m_arrow->setAutoRaise(true);
    m_arrow->setCursor(Qt::PointingHandCursor);
    layout->addWidget(m_arrow);
    connect(m_action, &QPushButton::clicked, this, &DriverItem::actionClicked);
    connect(m_arrow, &QToolButton::toggled, this, [this](bool open) {
        m_arrow->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        emit arrowToggled(open);
    });
}

void DriverItem::show(const VehicleDriver& driver)
{
    m_logo->setPixmap(logoOf(driver.info, m_logo->devicePixelRatioF()));
    m_title->setText(driver.info.englishName);
    const QString newest = driver.serverVersion();
    QString subtitle = driver.installed()
        ? tr("Installed: %1").arg(driver.installVersion.isEmpty() ? QStringLiteral("?") : driver.installVersion)
        : tr("Not installed");
    if (!newest.isEmpty())
        subtitle += QStringLiteral(" · ") + tr("Newest: %1").arg(newest);
    m_subtitle->setText(subtitle);

    const DataStatus status = drivers::dataStatus(driver);
    const bool button = status == DataStatus::NotInstalled || status == DataStatus::UpdateAvailable;
    if (status == DataStatus::NotInstalled) {
        m_action->setText(tr("Install"));
        m_action->setStyleSheet(driverstyle::button(Look::Filled, 3));
    } else if (status == DataStatus::UpdateAvailable) {
        m_action->setText(tr("Update"));
        m_action->setStyleSheet(driverstyle::button(Look::Filled, 6));
    } else if (status == DataStatus::UpToDate) {
        m_status->setText(tr("Installed"));
        m_status->setStyleSheet(QStringLiteral("QLabel { color: %1 }").arg(driverstyle::labelColour(1)));
    } else {
        m_status->setText(tr("Disabled"));
        m_status->setStyleSheet(QStringLiteral("QLabel { color: %1 }").arg(driverstyle::labelColour(5)));
    }
    // The row's own style sheet would hide the theme's focus frame.
    Accessibility::keepFocusFrame(m_action);
    // Nothing to download without an address.
    m_action->setEnabled(!driver.downloadUrl().isEmpty());
    m_action->setVisible(button && !m_busy);
    m_status->setVisible(!button && !m_busy);
}

void DriverItem::showProgress(qint64 received, qint64 total)
{
    m_busy = true;
    m_action->hide();
    m_status->hide();
    const bool known = total > 0 && total <= std::numeric_limits<int>::max();
    m_progress->setRange(0, known ? static_cast<int>(total) : 0);
    m_progress->setValue(known ? static_cast<int>(qMin(received, total)) : 0);
    m_progress->setTextVisible(known);
    m_progress->show();
}

void DriverItem::showWorking()
{
    showProgress(0, 0);
}

void DriverItem::hideProgress()
{
    m_busy = false;
    m_progress->hide();
}

void DriverItem::setActionsEnabled(bool enabled)
{
    m_action->setEnabled(enabled);
}

QString DriverItem::title() const
{
    return m_title->text();
}

QString DriverItem::subtitle() const
{
    return m_subtitle->text();
}

DriverDetail::DriverDetail(QWidget* parent)
    : QWidget(parent)
    , m_version(new QLabel(this))
    , m_date(new QLabel(this))
    , m_summary(new QLabel(this))
    , m_enable(new QPushButton(this))
    , m_uninstall(new QPushButton(this))
{
    setObjectName(QStringLiteral("DriverDetail"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(64, 0, 12, 8);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    for (QLabel* label : {m_version, m_date, m_summary}) {
        label->setStyleSheet(QStringLiteral("QLabel { color: %1 }").arg(driverstyle::labelColour(1)));
        texts->addWidget(label);
    }
    m_version->setObjectName(QStringLiteral("lbl_DriverVersion"));
    m_summary->setObjectName(QStringLiteral("lbl_DriverSummary"));
    m_summary->setWordWrap(true);
    layout->addLayout(texts, 1);
    m_enable->setObjectName(QStringLiteral("Btn_DriverEnable"));
    m_uninstall->setObjectName(QStringLiteral("Btn_DriverUninstall"));
    for (QPushButton* b : {m_enable, m_uninstall}) {
        b->setCursor(Qt::PointingHandCursor);
        layout->addWidget(b, 0, Qt::AlignTop);
    }
    connect(m_enable, &QPushButton::clicked, this, [this] { emit enableClicked(!m_enabled); });
    connect(m_uninstall, &QPushButton::clicked, this, &DriverDetail::uninstallClicked);
}

void DriverDetail::show(const VehicleDriver& driver)
{
    QString version = tr("Version") + QLatin1Char(' ')
        + (driver.serverVersion().isEmpty() ? QStringLiteral("---") : driver.serverVersion());
    const QString size = drivers::formatSize(driver.serverSize());
    if (!size.isEmpty())
        version += QStringLiteral(" · ") + size;
    m_version->setText(version);
    m_date->setText(drivers::formatUpdatedDate(driver.catalogue.value(QStringLiteral("updatedDate")).toString()));
    m_date->setVisible(!m_date->text().isEmpty());
    m_summary->setText(driver.catalogue.value(QStringLiteral("summary")).toString());
    m_summary->setVisible(!m_summary->text().isEmpty());
    m_enabled = driver.enabled;
    m_enable->setText(driver.enabled ? tr("Disable") : tr("Enable"));
    m_enable->setStyleSheet(driverstyle::button(Look::Outlined, driver.enabled ? 5 : 3));
    m_uninstall->setText(tr("Uninstall"));
    m_uninstall->setStyleSheet(driverstyle::button(Look::Light, 5));
    Accessibility::keepFocusFrame(m_enable);
    Accessibility::keepFocusFrame(m_uninstall);
    m_enable->setVisible(driver.installed());
    m_uninstall->setVisible(driver.installed());
}

void DriverDetail::setActionsEnabled(bool enabled)
{
    m_enable->setEnabled(enabled);
    m_uninstall->setEnabled(enabled);
}

QString DriverDetail::versionText() const
{
    return m_version->text();
}
