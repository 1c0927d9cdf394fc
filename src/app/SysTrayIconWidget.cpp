#include "app/SysTrayIconWidget.h"

#include "kit/Pictures.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {
std::optional<bool> g_availabilityOverride;
}

SysTrayIconWidget::SysTrayIconWidget(std::function<void()> showCallback, QWidget* parent)
    : QWidget(parent)
    , m_showCallback(std::move(showCallback))
{
    setVisible(false);
    m_menu = new QMenu(this);
    m_showAction = new QAction(tr("Display"), this);
    m_exitAction = new QAction(tr("Exit"), this);
    m_menu->addAction(m_showAction);
    m_menu->addSeparator();
    m_menu->addAction(m_exitAction);
    connect(m_showAction, &QAction::triggered, this, &SysTrayIconWidget::on_showMainAction);
    connect(m_exitAction, &QAction::triggered, this, &SysTrayIconWidget::on_exitAppAction);

    m_tray = new QSystemTrayIcon(QIcon(loadPicture(QStringLiteral(":/image/Icon/Brindlewick.png"))), this);
    m_tray->setToolTip(QStringLiteral("Brindlewick Manager"));
    m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            on_showMainAction();
    });
    if (available())
        m_tray->show();
}

SysTrayIconWidget::~SysTrayIconWidget() = default;

void SysTrayIconWidget::setActionTexts(const QString& display, const QString& exit)
{
    m_showAction->setText(display);
    m_exitAction->setText(exit);
}

bool SysTrayIconWidget::available()
{
    if (g_availabilityOverride)
        return *g_availabilityOverride;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SysTrayIconWidget::setAvailabilityOverride(std::optional<bool> available)
{
    g_availabilityOverride = available;
}

void SysTrayIconWidget::on_showMainAction()
{
    if (m_showCallback)
        m_showCallback();
}

void SysTrayIconWidget::on_exitAppAction()
{
    QCoreApplication::exit(0);
}
