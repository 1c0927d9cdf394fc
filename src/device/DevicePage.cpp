#include "device/DevicePage.h"

#include "kit/Pictures.h"

#include "device/DeviceLog.h"
#include "device/DeviceProfile.h"
#include "device/LinkDiagnosisLabel.h"
#include "ui_DevicePage.h"

#include <QEvent>
#include <QStyle>
#include <QVariant>

DevicePage::DevicePage(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::DevicePageClass)
{
    ui->setupUi(this);
    for (QPushButton* b : {ui->Btn_vciReboot, ui->Btn_requestBuzz, ui->Btn_ReleaseOccupation, ui->Btn_Router_Connect})
        setButtonEnabled(b, false);
    // No adapter until the first status pass says otherwise.
    ui->Label_VCI_Status->setText(tr("None"));
    showPicture(QStringLiteral(":/image/PNG_5093K_DisConn.png"));
    setColor(ui->Label_VCI_Status, QLatin1String(kStateRed));
    setColor(ui->label_Voltage, QLatin1String(DeviceStatusLoop::kRed));
    // Under the buttons, above the page's closing spacer.
    m_whyLink = new LinkDiagnosisLabel(this);
    ui->verticalLayout_Device->insertWidget(ui->verticalLayout_Device->count() - 1, m_whyLink);
}

DevicePage::~DevicePage()
{
    delete ui;
}

QPushButton* DevicePage::rebootButton() const
{
    return ui->Btn_vciReboot;
}
QPushButton* DevicePage::buzzButton() const
{
    return ui->Btn_requestBuzz;
}
QPushButton* DevicePage::releaseButton() const
{
    return ui->Btn_ReleaseOccupation;
}
QPushButton* DevicePage::routerButton() const
{
    return ui->Btn_Router_Connect;
}
QPushButton* DevicePage::moreDevicesButton() const
{
    return ui->Btn_More_VCI;
}

QPushButton* DevicePage::firmwareButton() const
{
    return ui->Btn_Firmware_Update;
}

QString DevicePage::stateText(const VciStatusRecord& record, bool* known)
{
    if (known)
        *known = true;
    if (record.SN[0] == '\0')
        return tr("None");
    switch (record.status) {
    case 0:
        return tr("Recovery");
    case 1:
        return tr("Idle");
    case 2:
        return tr("Occupied");
    default:
        if (known)
            *known = false;
        return QString();
    }
}

QString DevicePage::versionText(const char* version)
{
    const QString text = QString::fromUtf8(version);
    if (text.isEmpty())
        return QStringLiteral("--");
    const int v = text.indexOf(QLatin1Char('V'));
    return v >= 0 ? text.mid(v) : text;
}

QString DevicePage::connTypeText(std::int32_t connType)
{
    switch (connType) {
    case CONN_USB:
        return QStringLiteral("USB");
    case CONN_RJ45:
        return QStringLiteral("RJ45");
    case CONN_WIFI:
        return QStringLiteral("WIFI");
    case CONN_ROUTE:
        return QStringLiteral("ROUTE");
    default:
        return QStringLiteral("--");
    }
}

bool DevicePage::setTextIfDifferent(QLabel* label, const QString& text)
{
    if (label->text() == text)
        return false;
    label->setText(text);
    return true;
}

void DevicePage::setColor(QLabel* label, const QString& color)
{
    const QString style = QStringLiteral("color: %1;").arg(color);
    if (label->styleSheet() != style)
        label->setStyleSheet(style);
}

void DevicePage::setButtonEnabled(QPushButton* button, bool enabled)
{
    // The style sheet greys buttons through the "Enable" property.
    const QVariant property = enabled ? QVariant(QString()) : QVariant(false);
    if (button->isEnabled() == enabled && button->property("Enable") == property)
        return;
    button->setEnabled(enabled);
    button->setProperty("Enable", property);
    button->style()->unpolish(button);
    button->style()->polish(button);
}

void DevicePage::refresh(const DeviceStatusSnapshot& s, bool homePageShown)
{
    const VciStatusRecord& r = s.record;
    const QString serial = QString::fromUtf8(r.SN);
    const bool hasAdapter = !serial.isEmpty();
    m_whyLink->setVisible(!hasAdapter);

    bool known = false;
    const QString state = stateText(r, &known);
    if (known) {
        setTextIfDifferent(ui->Label_VCI_Status, state);
        setColor(ui->Label_VCI_Status, QLatin1String(hasAdapter && r.status == 1 ? kStateGreen : kStateRed));
    }

    if (setTextIfDifferent(ui->label_Voltage, s.voltageText))
        emit voltageTextChanged(s.voltageText);
    setColor(ui->label_Voltage, s.voltageColor);

    if (!homePageShown)
        return;

    // One line per change of the adapter shown: where a run shows what the page showed.
    if (setTextIfDifferent(ui->label_VCI_SN, hasAdapter ? serial : QStringLiteral("--"))) {
        if (hasAdapter)
            qCInfo(lcDevice).noquote() << "device page: adapter" << serial << "shown";
        else
            qCInfo(lcDevice) << "device page: no adapter";
    }
    setTextIfDifferent(ui->label_softVer, versionText(r.softVer));
    setTextIfDifferent(ui->label_FirmwareVersion, versionText(r.FirmwareVersion));
    setTextIfDifferent(ui->label_DllVersion, versionText(r.DllVersion));
    setTextIfDifferent(ui->label_ConnType, connTypeText(r.connType));
    setTextIfDifferent(ui->label_DeviceName, deviceNameFor(serial));
    const QString picture = devicePictureFor(serial);
    if (picture != m_picture) {
        showPicture(picture);
    }

    const bool usbDevice = hasAdapter && ui->label_VCI_SN->text() == serial && r.connType == CONN_USB;
    const bool rebootWasEnabled = ui->Btn_vciReboot->isEnabled();
    setButtonEnabled(ui->Btn_vciReboot, usbDevice);
    setButtonEnabled(ui->Btn_requestBuzz, usbDevice);
    setButtonEnabled(ui->Btn_ReleaseOccupation, usbDevice);
    if (usbDevice && !rebootWasEnabled && !m_pendingMessage.isEmpty()) {
        emit showMessage(m_pendingMessage, 1200);
        m_pendingMessage.clear();
    }

    const bool routable = hasAdapter && std::string(r.testIP) != "127.0.0.1" && std::string(r.vciIP) != "127.0.0.1";
    setButtonEnabled(ui->Btn_Router_Connect, routable);
}

void DevicePage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QWidget::changeEvent(event);
}

void DevicePage::showPicture(const QString& resource)
{
    m_picture = resource;
    ui->label_DevicePicture->setPixmap(loadPicture(resource));
    ui->label_DevicePicture->setProperty("picture", resource);
}
