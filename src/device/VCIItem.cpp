#include "device/VCIItem.h"

#include "device/DeviceProfile.h"

#include "kit/Pictures.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

const char* const VCIItem::kCheckStyle
    = "background-image:url(:/image/Setting/check.png);background-origin:content;background-repeat:none;";
const char* const VCIItem::kCancelStyle
    = "background-image:url(:/image/Setting/cancel.png);background-origin:content;background-repeat:none;";
const char* const VCIItem::kClickedStyle
    = "background-image:url(:/image/Select.png);background-origin:content;background-repeat:none;";

VCIItem::VCIItem(int itemNum, const QString& serial, QWidget* parent)
    : QWidget(parent)
    , m_itemNum(itemNum)
    , m_picture(new QLabel(this))
    , m_name(new QLabel(serial, this))
    , m_mark(new QLabel(this))
    , m_disconnect(new QPushButton(tr("Disconnect"), this))
{
    m_picture->setObjectName(QStringLiteral("label_VCIPicture"));
    m_picture->setFixedSize(48, 48);
    m_picture->setAlignment(Qt::AlignCenter);
    // The adapter pictures are 220 x 160: shown whole, scaled into the row's square.
    const QPixmap picture = loadPicture(devicePictureFor(serial));
    if (!picture.isNull())
        m_picture->setPixmap(picture.scaled(m_picture->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_name->setObjectName(QStringLiteral("label_VCIName"));
    m_name->setStyleSheet(QStringLiteral("color: rgb(85, 85, 85);background-color: rgb(255, 255, 255);"));
    m_mark->setObjectName(QStringLiteral("label_VCIMark"));
    m_mark->setFixedSize(24, 24);
    m_disconnect->setObjectName(QStringLiteral("Btn_VCIDisconnect"));
    m_disconnect->setStyleSheet(
        QStringLiteral("background-color: rgb(229, 0, 18);color: rgb(255, 255, 255);border-radius:5px;"));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(m_picture);
    layout->addWidget(m_name, 1);
    layout->addWidget(m_disconnect);
    layout->addWidget(m_mark);

    connect(m_disconnect, &QPushButton::clicked, this, [this] { emit break_connect(m_itemNum); });
    setConnected(false);
}

QString VCIItem::serial() const
{
    return m_name->text();
}

bool VCIItem::isConnected() const
{
    return !m_disconnect->isHidden();
}

void VCIItem::setConnected(bool connected)
{
    m_mark->setStyleSheet(QLatin1String(connected ? kCheckStyle : kCancelStyle));
    m_disconnect->setVisible(connected);
}

void VCIItem::setClickedMark()
{
    m_mark->setStyleSheet(QLatin1String(kClickedStyle));
}

QString VCIItem::markStyle() const
{
    return m_mark->styleSheet();
}
