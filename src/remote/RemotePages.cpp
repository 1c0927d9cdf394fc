#include "remote/RemotePages.h"

#include "kit/Accessibility.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& style = QString())
{
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    if (!style.isEmpty())
        l->setStyleSheet(style);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, bool blue = true)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setCursor(Qt::PointingHandCursor);
    b->setMinimumHeight(34);
    if (blue)
        b->setStyleSheet(remoteButtonStyle(true));
    return b;
}

QLineEdit* field(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setMinimumHeight(32);
    return e;
}

const QString kTitleStyle = QStringLiteral("font-size:18px;font-weight:bold;color:#1F2A36;");
const QString kSectionStyle = QStringLiteral("font-size:15px;font-weight:bold;color:#1F2A36;");
const QString kCardStyle = QStringLiteral("background-color:#FFFFFF;border-radius:6px;");

QWidget* card(QWidget* parent, const char* name)
{
    auto* w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    w->setAttribute(Qt::WA_StyledBackground, true);
    w->setStyleSheet(
        QStringLiteral("QWidget#") + QLatin1String(name) + QLatin1Char('{') + kCardStyle + QLatin1Char('}'));
    return w;
}

} // namespace

QString remoteButtonStyle(bool enabled)
{
    return enabled ? QStringLiteral("QPushButton{background-color: rgb(2, 167, 240);color:#FFFFFF;border:none;"
                                    "border-radius:4px;padding:0 14px;}"
                                    "QPushButton:disabled{background-color: rgb(215, 215, 215);}")
                   : QStringLiteral("QPushButton{background-color: rgb(215, 215, 215);color:#FFFFFF;border:none;"
                                    "border-radius:4px;padding:0 14px;}");
}

void fillDoIpCombo(QComboBox* combo)
{
    const QStringList texts{QCoreApplication::translate("Remote", "DoIP Off"),
        QCoreApplication::translate("Remote", "Standard DoIP"), QCoreApplication::translate("Remote", "BMW DoIP"),
        QCoreApplication::translate("Remote", "MB DoIP")};
    if (combo->count() != texts.size()) {
        combo->clear();
        combo->addItems(texts);
        return;
    }
    for (int i = 0; i < texts.size(); ++i)
        combo->setItemText(i, texts.at(i));
}

// ---- Remote page ----------------------------------------------------------

RemotePage::RemotePage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("RemotePage"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 18, 24, 18);
    outer->setSpacing(14);
    m_title = label(this, "label_RemoteTitle", kTitleStyle);
    outer->addWidget(m_title);

    QWidget* local = card(this, "widget_RemoteLocal");
    auto* localGrid = new QGridLayout(local);
    localGrid->setContentsMargins(18, 14, 18, 14);
    localGrid->setHorizontalSpacing(10);
    m_localTitle = label(local, "label_RemoteLocalTitle", kSectionStyle);
    localGrid->addWidget(m_localTitle, 0, 0, 1, 5);
    m_serialCaption = label(local, "label_RemoteSnCaption");
    serialLabel = label(local, "label_Remote_SN", QStringLiteral("font-size:15px;"));
    serialLabel->setText(QStringLiteral("--"));
    serialLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    copySerial = button(local, "Btn_CopySn", false);
    localGrid->addWidget(m_serialCaption, 1, 0);
    localGrid->addWidget(serialLabel, 1, 1, 1, 2);
    localGrid->addWidget(copySerial, 1, 3);
    m_codeCaption = label(local, "label_RemoteCodeCaption");
    codeField = field(local, "lineEdit_RemoteCode");
    codeField->setReadOnly(true);
    codeField->setFocusPolicy(Qt::ClickFocus); // the partner's serial takes the first focus
    codeField->setText(QStringLiteral("--"));
    codeField->setMinimumWidth(260);
    showCode = button(local, "Btn_Remote_Show", false);
    showCode->setIcon(QIcon(QStringLiteral(":/image/Remote/show.png")));
    showCode->setIconSize(QSize(20, 20));
    showCode->setFlat(true);
    copyCode = button(local, "Btn_CodeCopy", false);
    localGrid->addWidget(m_codeCaption, 2, 0);
    localGrid->addWidget(codeField, 2, 1, 1, 2);
    localGrid->addWidget(showCode, 2, 3);
    localGrid->addWidget(copyCode, 2, 4);
    codeMode = button(local, "Btn_SetAuthCode");
    remoteSwitch = button(local, "Btn_Disable_Remote", false);
    remoteSwitch->setStyleSheet(QStringLiteral("background-color:rgb(215, 215, 215);color:rgb(255, 255, 255)"));
    auto* codeActions = new QHBoxLayout;
    codeActions->setSpacing(10);
    codeActions->addWidget(codeMode);
    codeActions->addWidget(remoteSwitch);
    codeActions->addStretch(1);
    localGrid->addLayout(codeActions, 3, 1, 1, 4);
    remoteSwitch->setMinimumHeight(34);
    remoteSwitch->setMinimumWidth(120);
    localGrid->setColumnStretch(2, 1);
    outer->addWidget(local);

    QWidget* partner = card(this, "widget_RemotePartner");
    auto* partnerGrid = new QGridLayout(partner);
    partnerGrid->setContentsMargins(18, 14, 18, 14);
    m_partnerTitle = label(partner, "label_RemotePartnerTitle", kSectionStyle);
    partnerGrid->addWidget(m_partnerTitle, 0, 0, 1, 4);
    m_partnerCaption = label(partner, "label_RemotePartnerCaption");
    partnerSerial = field(partner, "lineEdit_Num_RemoteVIC");
    partnerSerial->setMaxLength(16);
    partnerGrid->addWidget(m_partnerCaption, 1, 0);
    partnerGrid->addWidget(partnerSerial, 1, 1, 1, 3);
    m_doipCaption = label(partner, "label_RemoteDoIpCaption");
    doip = new QComboBox(partner);
    doip->setObjectName(QStringLiteral("comboBox_DoIp"));
    doip->setMinimumHeight(30);
    partnerGrid->addWidget(m_doipCaption, 2, 0);
    partnerGrid->addWidget(doip, 2, 1);
    connectButton = button(partner, "Btn_Remote_Connect");
    p2p = button(partner, "Btn_Remote_P2P");
    deviceControl = button(partner, "Btn_RemotePro");
    serviceVendor = button(partner, "Btn_service_vendor");
    serviceVendor->hide();
    auto* actions = new QHBoxLayout;
    actions->addWidget(connectButton);
    actions->addWidget(p2p);
    actions->addWidget(deviceControl);
    actions->addWidget(serviceVendor); // shown while a user is signed in (the account subsystem)
    actions->addStretch(1);
    partnerGrid->addLayout(actions, 3, 1, 1, 3);
    partnerGrid->setColumnStretch(3, 1);
    outer->addWidget(partner);

    controlled = card(this, "widget_DeviceControlled");
    controlled->setStyleSheet(QStringLiteral(
        "QWidget#widget_DeviceControlled{background-color:#FFF4E5;border:1px solid #E50012;border-radius:6px;}"));
    auto* controlledLayout = new QHBoxLayout(controlled);
    controlledLayout->setContentsMargins(18, 10, 18, 10);
    controlledText = label(controlled, "label_DeviceControlled");
    controlledText->setWordWrap(true);
    endControl = button(controlled, "Btn_EndDeviceControl");
    controlledLayout->addWidget(controlledText, 1);
    controlledLayout->addWidget(endControl);
    controlled->hide();
    outer->addWidget(controlled);

    prompt = card(this, "widget_Verification");
    prompt->setStyleSheet(
        QStringLiteral("QWidget#widget_Verification{background-color:#FFFFFF;border:1px solid #02A7F0;"
                       "border-radius:6px;}"));
    auto* promptLayout = new QGridLayout(prompt);
    promptLayout->setContentsMargins(18, 14, 18, 14);
    m_promptText = label(prompt, "label_VerificationText");
    partnerCode = field(prompt, "lineEdit_Passcode");
    partnerCode->setMaxLength(6);
    confirm = button(prompt, "Btn__Verification_Confirm");
    cancel = button(prompt, "Btn_Cancel_Verification", false);
    promptLayout->addWidget(m_promptText, 0, 0, 1, 3);
    promptLayout->addWidget(partnerCode, 1, 0);
    promptLayout->addWidget(confirm, 1, 1);
    promptLayout->addWidget(cancel, 1, 2);
    prompt->hide();
    outer->addWidget(prompt);
    outer->addStretch(1);

    fillDoIpCombo(doip);
    retranslate();
}

void RemotePage::retranslate()
{
    m_title->setText(tr("Remote diagnosis"));
    m_localTitle->setText(tr("This PC's device"));
    m_serialCaption->setText(tr("Device SN:"));
    m_codeCaption->setText(tr("Verification code:"));
    copySerial->setText(tr("Copy"));
    copyCode->setText(tr("Copy"));
    // Both read "Copy"; a screen reader must tell them apart.
    Accessibility::describe(
        copySerial, tr("Copy serial number"), tr("Copies this PC's device serial number to the clipboard"));
    Accessibility::describe(
        copyCode, tr("Copy verification code"), tr("Copies the verification code to the clipboard"));
    // The eye shows the state; its words are the tool tip.
    showCode->setToolTip(codeField->echoMode() == QLineEdit::Normal ? tr("Hide") : tr("Show"));
    m_partnerTitle->setText(tr("Connect to a partner's device"));
    m_partnerCaption->setText(tr("Partner SN:"));
    m_doipCaption->setText(tr("DoIP:"));
    partnerSerial->setPlaceholderText(tr("16-character serial number"));
    connectButton->setText(tr("Connect"));
    p2p->setText(tr("P2P"));
    deviceControl->setText(tr("Device control"));
    endControl->setText(tr("End device control"));
    serviceVendor->setText(tr("Technicians"));
    m_promptText->setText(tr("Enter the verification code shown on the partner's PC"));
    partnerCode->setPlaceholderText(tr("6 digits"));
    confirm->setText(tr("Confirm"));
    cancel->setText(tr("Cancel"));
    fillDoIpCombo(doip);
    emit retranslated();
}

// ---- Session page ---------------------------------------------------------

SessionPage::SessionPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SessionPage"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 18, 24, 18);
    outer->setSpacing(14);
    m_title = label(this, "label_RemoteInfoTitle", kTitleStyle);
    outer->addWidget(m_title);

    QWidget* box = card(this, "widget_RemoteInfo");
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(18, 14, 18, 14);
    grid->setVerticalSpacing(12);
    const char* captionNames[8]
        = {"label_RoleCaption", "label_DeviceNumCaption", "label_StartCaption", "label_DurationCaption",
            "label_LocationCaption", "label_DelayCaption", "label_BytesCaption", "label_PeerCaption"};
    for (int i = 0; i < 8; ++i) {
        m_captions[i] = label(box, captionNames[i], QStringLiteral("color:#5A6672;"));
        grid->addWidget(m_captions[i], i, 0);
    }
    role = label(box, "label_RemoteRole");
    deviceNumber = label(box, "label_RemoteDeviceNum");
    startTime = label(box, "label_RemoteStartTime");
    duration = label(box, "label_RemoteDuration");
    location = label(box, "label_RemoteLocation");
    delayB = label(box, "label_DelayB");
    delayC = label(box, "label_DelayC");
    bytesB = label(box, "label_BytesB");
    bytesC = label(box, "label_BytesC");
    peer = label(box, "label_RemotePeer");
    grid->addWidget(role, 0, 1, 1, 2);
    grid->addWidget(deviceNumber, 1, 1, 1, 2);
    grid->addWidget(startTime, 2, 1, 1, 2);
    grid->addWidget(duration, 3, 1, 1, 2);
    grid->addWidget(location, 4, 1, 1, 2);
    grid->addWidget(delayB, 5, 1);
    grid->addWidget(delayC, 5, 2);
    grid->addWidget(bytesB, 6, 1);
    grid->addWidget(bytesC, 6, 2);
    grid->addWidget(peer, 7, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    outer->addWidget(box);

    end = button(this, "Btn_Remote_End");
    end->setStyleSheet(QStringLiteral("QPushButton{background-color:rgb(229, 0, 18);color:#FFFFFF;border:none;"
                                      "border-radius:4px;padding:0 14px;}"));
    auto* endRow = new QHBoxLayout;
    endRow->addWidget(end);
    endRow->addStretch(1);
    outer->addLayout(endRow);

    // Its own frameless window, application-modal: nothing else of the
    // program takes input while the end of the session is being confirmed.
    confirm = card(this, "widget_Exit_Remote_Confirm");
    confirm->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    confirm->setWindowModality(Qt::ApplicationModal);
    confirm->setStyleSheet(QStringLiteral("QWidget#widget_Exit_Remote_Confirm{background-color:#FFFFFF;"
                                          "border:1px solid #E50012;border-radius:6px;}"));
    auto* confirmLayout = new QHBoxLayout(confirm);
    confirmLayout->setContentsMargins(18, 12, 18, 12);
    m_confirmText = label(confirm, "label_ExitRemoteText");
    confirmYes = button(confirm, "Btn_Exit_Remote_Confirm");
    confirmNo = button(confirm, "Btn_Exit_Remote_Cancel", false);
    confirmLayout->addWidget(m_confirmText, 1);
    confirmLayout->addWidget(confirmYes);
    confirmLayout->addWidget(confirmNo);
    // Enter ends the session, Escape keeps it, as in the kit's dialogs.
    Accessibility::setDialogKeys(confirm, confirmYes, confirmNo);
    confirm->hide();
    outer->addStretch(1);
    retranslate();
}

void SessionPage::retranslate()
{
    m_title->setText(tr("Remote session"));
    m_captions[0]->setText(tr("Role:"));
    m_captions[1]->setText(tr("Device number:"));
    m_captions[2]->setText(tr("Start time:"));
    m_captions[3]->setText(tr("Duration:"));
    m_captions[4]->setText(tr("Location:"));
    m_captions[5]->setText(tr("Delay:"));
    m_captions[6]->setText(tr("Data:"));
    m_captions[7]->setText(tr("Partner:"));
    end->setText(tr("End remote"));
    m_confirmText->setText(tr("End the remote session?"));
    confirmYes->setText(tr("OK"));
    confirmNo->setText(tr("Cancel"));
    emit retranslated();
}

// ---- P2P page -------------------------------------------------------------

P2PPage::P2PPage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("P2PPage"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 18, 24, 18);
    outer->setSpacing(14);
    auto* head = new QHBoxLayout;
    back = button(this, "Btn_P2P_Return", false);
    m_title = label(this, "label_P2PTitle", kTitleStyle);
    head->addWidget(back);
    head->addWidget(m_title, 1);
    outer->addLayout(head);

    QWidget* listenBox = card(this, "widget_P2PListen");
    auto* lg = new QGridLayout(listenBox);
    lg->setContentsMargins(18, 14, 18, 14);
    m_listenTitle = label(listenBox, "label_P2PListenTitle", kSectionStyle);
    lg->addWidget(m_listenTitle, 0, 0, 1, 3);
    m_captions[0] = label(listenBox, "label_SelDoIpCaption");
    doip = new QComboBox(listenBox);
    doip->setObjectName(QStringLiteral("comboBox_SelDoIp"));
    doip->setMinimumHeight(30);
    m_captions[1] = label(listenBox, "label_ServerPortCaption");
    listenPort = field(listenBox, "lineEdit_ServerPort");
    listen = button(listenBox, "Btn_Remote_Listen");
    listen->setEnabled(false);
    listen->setStyleSheet(remoteButtonStyle(false));
    lg->addWidget(m_captions[0], 1, 0);
    lg->addWidget(doip, 1, 1);
    lg->addWidget(m_captions[1], 2, 0);
    lg->addWidget(listenPort, 2, 1);
    lg->addWidget(listen, 2, 2);
    lg->setColumnStretch(1, 1);
    outer->addWidget(listenBox);

    listening = card(this, "widget_Verification_5");
    listening->setStyleSheet(QStringLiteral("QWidget#widget_Verification_5{background-color:#FFFFFF;"
                                            "border:1px solid #02A7F0;border-radius:6px;}"));
    auto* panel = new QHBoxLayout(listening);
    panel->setContentsMargins(18, 12, 18, 12);
    m_listeningText = label(listening, "label_ListeningText");
    m_listeningText->setWordWrap(true);
    closeListen = button(listening, "Btn_CloseListen", false);
    panel->addWidget(m_listeningText, 1);
    panel->addWidget(closeListen);
    listening->hide();
    outer->addWidget(listening);

    QWidget* connectBox = card(this, "widget_P2PConnect");
    auto* cg = new QGridLayout(connectBox);
    cg->setContentsMargins(18, 14, 18, 14);
    m_connectTitle = label(connectBox, "label_P2PConnectTitle", kSectionStyle);
    cg->addWidget(m_connectTitle, 0, 0, 1, 3);
    m_captions[2] = label(connectBox, "label_CServerAddrCaption");
    address = field(connectBox, "lineEdit_CServerAddr");
    m_captions[3] = label(connectBox, "label_CServerPortCaption");
    connectPort = field(connectBox, "lineEdit_CServerPort");
    connectButton = button(connectBox, "Btn_Remote_Conn");
    connectButton->setEnabled(false);
    connectButton->setStyleSheet(remoteButtonStyle(false));
    cg->addWidget(m_captions[2], 1, 0);
    cg->addWidget(address, 1, 1);
    cg->addWidget(m_captions[3], 2, 0);
    cg->addWidget(connectPort, 2, 1);
    cg->addWidget(connectButton, 2, 2);
    cg->setColumnStretch(1, 1);
    outer->addWidget(connectBox);
    outer->addStretch(1);

    fillDoIpCombo(doip);
    retranslate();
}

void P2PPage::setListeningPort(int port)
{
    m_port = port;
    m_listeningText->setText(tr("Port %1 is listening. Wait for the client to connect.").arg(port));
}

void P2PPage::retranslate()
{
    m_title->setText(tr("Peer-to-peer connection"));
    back->setText(tr("Back"));
    m_listenTitle->setText(tr("Lend this PC's port (B-end)"));
    m_connectTitle->setText(tr("Connect this PC's device (C-end)"));
    m_captions[0]->setText(tr("DoIP:"));
    m_captions[1]->setText(tr("Port:"));
    m_captions[2]->setText(tr("Address:"));
    m_captions[3]->setText(tr("Port:"));
    listenPort->setPlaceholderText(tr("5000 to 65535"));
    connectPort->setPlaceholderText(tr("5000 to 65535"));
    address->setPlaceholderText(tr("Partner's IP address"));
    listen->setText(tr("Listen"));
    closeListen->setText(tr("Close"));
    connectButton->setText(tr("Connect"));
    setListeningPort(m_port);
    fillDoIpCombo(doip);
}

void RemotePage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void SessionPage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void P2PPage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}
