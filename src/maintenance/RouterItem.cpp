#include "maintenance/RouterItem.h"

#include "maintenance/CWifiPasswordInput.h"
#include "maintenance/RouterSetup.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

RouterItem::RouterItem(int index, const QString& name, QWidget* parent)
    : QWidget(parent)
    , m_index(index)
    , m_name(name)
{
    setObjectName(QStringLiteral("RouterItem"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 4, 12, 4);
    layout->setSpacing(10);
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("lbl_WifiIcon"));
    icon->setFixedSize(22, 22);
    layout->addWidget(icon);
    auto* label = new QLabel(name, this);
    label->setObjectName(QStringLiteral("lbl_RouterName"));
    label->setTextFormat(Qt::PlainText); // a name is whatever the router sends
    layout->addWidget(label, 1);
    m_mark = new QLabel(this);
    m_mark->setObjectName(QStringLiteral("lbl_RouterJoined"));
    m_mark->setFixedSize(20, 20);
    layout->addWidget(m_mark);
    m_connect = new QPushButton(this);
    m_connect->setObjectName(QStringLiteral("Btn_RouterConnect"));
    m_connect->setCursor(Qt::PointingHandCursor);
    m_connect->setFixedSize(90, 28);
    m_connect->setStyleSheet(QStringLiteral("background-color: rgb(2, 167, 240);color: rgb(255, 255, 255);"
                                            "font-size:13px;border-radius:14px;font-family:Microsoft YaHei UI;"));
    layout->addWidget(m_connect);
    m_timer = new QTimer(this);
    m_timer->setInterval(500);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &RouterItem::on_Timer);
    connect(m_connect, &QPushButton::clicked, this, [this] {
        m_connect->setEnabled(false);
        m_timer->start();
        emit signalSendRouteCmd(route_cmd::kRowChosen, m_index, m_name, QString());
        slotShowWidget();
    });
    retranslate();
}

void RouterItem::retranslate()
{
    m_connect->setText(tr("Connect"));
}

void RouterItem::setJoined(bool joined)
{
    m_joined = joined;
    m_mark->setStyleSheet(joined ? QStringLiteral("image:url(:/image/Setting/check.png);") : QString());
}

void RouterItem::slotShowWidget()
{
    auto* dialog = new CWifiPasswordInput(m_name, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &CWifiPasswordInput::passwordEntered, this, &RouterItem::InputPass);
    dialog->open();
}

void RouterItem::on_Timer()
{
    m_connect->setEnabled(true);
}

void RouterItem::InputPass(QString password)
{
    if (password.isEmpty()) {
        emit signalSendRouteTip(RouterSetup::saveCheckText(RouterSetup::SaveCheck::Empty), 1200);
        return;
    }
    emit signalSendRouteCmd(route_cmd::kJoin, m_index, m_name, password);
}
