#include "drivers/DriverView.h"

#include "drivers/DriverItem.h"

#include "kit/Accessibility.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

DriverView::DriverView(QWidget* parent)
    : QWidget(parent)
    , m_list(new QListWidget(this))
{
    setObjectName(QStringLiteral("DriverView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 8, 16, 8);
    m_list->setObjectName(QStringLiteral("listWidget_Drivers"));
    m_list->setStyleSheet(QStringLiteral("QListWidget { background: transparent; border: none; }"));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->verticalScrollBar()->setSingleStep(12);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_list);
}

void DriverView::showDrivers(const DriverMap& map)
{
    m_mode = Mode::Available;
    rebuild(map.values());
}

void DriverView::showLocalData(const QList<VehicleDriver>& installed, const QString& text)
{
    m_mode = Mode::Local;
    m_localText = text;
    rebuild(installed);
}

void DriverView::showEmpty()
{
    m_mode = Mode::Empty;
    rebuild({});
}

void DriverView::rebuild(const QList<VehicleDriver>& drivers)
{
    m_list->setUpdatesEnabled(false);
    m_list->clear(); // deletes the items and their row widgets
    m_rows.clear();
    m_section = nullptr;
    m_localInstall = m_retry = nullptr;
    m_sectionTitle = m_sectionText = nullptr;
    if (m_mode != Mode::Empty) {
        addSection();
        for (const VehicleDriver& driver : drivers)
            addDriver(driver);
    }
    m_list->setUpdatesEnabled(true);
}

void DriverView::addSection()
{
    m_section = new QWidget;
    m_section->setObjectName(QStringLiteral("DriverSection"));
    auto* layout = new QHBoxLayout(m_section);
    layout->setContentsMargins(8, 8, 8, 4);
    m_sectionTitle = new QLabel(m_section);
    m_sectionTitle->setObjectName(QStringLiteral("lbl_DriverSection"));
    layout->addWidget(m_sectionTitle);
    m_sectionText = new QLabel(m_section);
    m_sectionText->setObjectName(QStringLiteral("lbl_DriverSectionText"));
    m_sectionText->setWordWrap(true);
    m_sectionText->setStyleSheet(QStringLiteral("QLabel { color: %1 }").arg(driverstyle::labelColour(5)));
    layout->addWidget(m_sectionText, 1);
    m_retry = new QPushButton(m_section);
    m_retry->setObjectName(QStringLiteral("Btn_DriverRetry"));
    m_retry->setStyleSheet(driverstyle::button(driverstyle::Look::Outlined, 3));
    m_retry->setCursor(Qt::PointingHandCursor);
    layout->addWidget(m_retry);
    m_localInstall = new QPushButton(m_section);
    m_localInstall->setObjectName(QStringLiteral("Btn_InstallLocalDriver"));
    m_localInstall->setStyleSheet(driverstyle::link(QStringLiteral("5px 0px"), QStringLiteral("43, 143, 207")));
    // Their own style sheets would hide the theme's focus frame.
    Accessibility::keepFocusFrame(m_retry);
    Accessibility::keepFocusFrame(m_localInstall);
    m_localInstall->setCursor(Qt::PointingHandCursor);
    m_localInstall->setEnabled(m_operationsEnabled);
    layout->addWidget(m_localInstall);
    connect(m_retry, &QPushButton::clicked, this, &DriverView::retryRequested);
    connect(m_localInstall, &QPushButton::clicked, this, &DriverView::localInstallRequested);
    auto* item = new QListWidgetItem(m_list);
    item->setFlags(Qt::ItemIsEnabled);
    item->setSizeHint(QSize(0, 44));
    m_list->setItemWidget(item, m_section);
    retranslateSection();
}

void DriverView::retranslateSection()
{
    if (!m_section)
        return;
    const bool local = m_mode == Mode::Local;
    m_sectionTitle->setText(local ? tr("LocalDriver") : tr("Available"));
    m_sectionText->setText(local ? m_localText : QString());
    m_retry->setText(tr("Retry"));
    m_retry->setVisible(local);
    m_localInstall->setText(tr("InstallLocalDriver"));
}

void DriverView::addDriver(const VehicleDriver& driver)
{
    Rows rows;
    rows.driver = driver;
    rows.header = new DriverItem;
    rows.detail = new DriverDetail;
    rows.headerItem = new QListWidgetItem(m_list);
    rows.headerItem->setFlags(Qt::ItemIsEnabled);
    rows.headerItem->setData(Qt::UserRole, driver.key);
    rows.detailItem = new QListWidgetItem(m_list);
    rows.detailItem->setFlags(Qt::ItemIsEnabled);
    rows.detailItem->setData(Qt::UserRole, driver.key);
    rows.header->show(driver);
    rows.detail->show(driver);
    rows.header->setActionsEnabled(m_operationsEnabled && !driver.downloadUrl().isEmpty());
    rows.detail->setActionsEnabled(m_operationsEnabled);
    rows.headerItem->setSizeHint(QSize(0, 56));
    rows.detailItem->setSizeHint(rows.detail->sizeHint());
    m_list->setItemWidget(rows.headerItem, rows.header);
    m_list->setItemWidget(rows.detailItem, rows.detail);
    rows.detailItem->setHidden(true);
    const QString key = driver.key;
    connect(rows.header, &DriverItem::actionClicked, this, [this, key] { emit installRequested(key); });
    connect(rows.header, &DriverItem::arrowToggled, this, [this, key](bool open) {
        if (m_rows.contains(key))
            m_rows[key].detailItem->setHidden(!open);
    });
    connect(rows.detail, &DriverDetail::enableClicked, this,
        [this, key](bool enable) { emit enableRequested(key, enable); });
    connect(rows.detail, &DriverDetail::uninstallClicked, this, [this, key] { emit uninstallRequested(key); });
    m_rows.insert(key, rows);
}

void DriverView::updateDriver(const VehicleDriver& driver)
{
    auto it = m_rows.find(driver.key);
    if (it == m_rows.end())
        return;
    it->driver = driver;
    it->header->show(driver);
    it->detail->show(driver);
    it->header->setActionsEnabled(m_operationsEnabled && !driver.downloadUrl().isEmpty());
    it->detailItem->setSizeHint(it->detail->sizeHint());
}

void DriverView::showProgress(const QString& key, qint64 received, qint64 total)
{
    if (DriverItem* row = item(key))
        row->showProgress(received, total);
}

void DriverView::showWorking(const QString& key)
{
    if (DriverItem* row = item(key))
        row->showWorking();
    if (DriverDetail* rows = detail(key))
        rows->setActionsEnabled(false);
}

void DriverView::hideProgress(const QString& key)
{
    auto it = m_rows.find(key);
    if (it == m_rows.end())
        return;
    it->header->hideProgress();
    it->detail->setActionsEnabled(m_operationsEnabled);
    it->header->show(it->driver);
}

void DriverView::setOperationsEnabled(bool enabled)
{
    m_operationsEnabled = enabled;
    if (m_localInstall)
        m_localInstall->setEnabled(enabled);
    for (Rows& rows : m_rows) {
        rows.header->setActionsEnabled(enabled && !rows.driver.downloadUrl().isEmpty());
        rows.detail->setActionsEnabled(enabled);
    }
}

DriverItem* DriverView::item(const QString& key) const
{
    const auto it = m_rows.constFind(key);
    return it == m_rows.constEnd() ? nullptr : it->header;
}

DriverDetail* DriverView::detail(const QString& key) const
{
    const auto it = m_rows.constFind(key);
    return it == m_rows.constEnd() ? nullptr : it->detail;
}

QString DriverView::sectionTitle() const
{
    return m_sectionTitle ? m_sectionTitle->text() : QString();
}

QString DriverView::sectionText() const
{
    return m_sectionText ? m_sectionText->text() : QString();
}

void DriverView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateSection();
        for (Rows& rows : m_rows) {
            rows.header->show(rows.driver);
            rows.detail->show(rows.driver);
        }
    }
    QWidget::changeEvent(event);
}
