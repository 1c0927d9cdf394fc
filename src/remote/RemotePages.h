// The three remote pages, thin: they lay out the widgets under the object
// names the window's slots know and are re-texted on a language change;
// RemoteController fills them and handles their clicks.
//  RemotePage   page 1: the local code area, the partner's serial, the code prompt;
//  SessionPage  page 7: the running session's figures and its end;
//  P2PPage      page 20: listen (B-end) and connect (C-end).
#pragma once

#include <QWidget>

class QComboBox;
class QEvent;
class QLabel;
class QLineEdit;
class QPushButton;

class RemotePage : public QWidget {
    Q_OBJECT
protected:
    void changeEvent(QEvent* event) override;

public:
    explicit RemotePage(QWidget* parent = nullptr);
    void retranslate();

signals:
    // The texts changed language; the controller re-texts what it filled in.
    void retranslated();

public:
    QLabel* serialLabel;        // label_Remote_SN
    QPushButton* copySerial;    // Btn_CopySn
    QLineEdit* codeField;       // lineEdit_RemoteCode
    QPushButton* showCode;      // Btn_Remote_Show / Btn_Remote_NotShow
    QPushButton* copyCode;      // Btn_CodeCopy
    QPushButton* codeMode;      // Btn_SetAuthCode
    QPushButton* remoteSwitch;  // Btn_Disable_Remote
    QLineEdit* partnerSerial;   // lineEdit_Num_RemoteVIC
    QComboBox* doip;            // comboBox_DoIp
    QPushButton* connectButton; // Btn_Remote_Connect
    QPushButton* deviceControl; // Btn_RemotePro
    QPushButton* p2p;           // Btn_Remote_P2P
    QPushButton* serviceVendor; // Btn_service_vendor (hidden)
    QWidget* controlled;        // widget_DeviceControlled: this adapter is under device control
    QLabel* controlledText;     // label_DeviceControlled
    QPushButton* endControl;    // Btn_EndDeviceControl
    QWidget* prompt;            // widget_Verification
    QLineEdit* partnerCode;     // lineEdit_Passcode
    QPushButton* confirm;       // Btn__Verification_Confirm
    QPushButton* cancel;        // Btn_Cancel_Verification

private:
    QLabel* m_title;
    QLabel* m_localTitle;
    QLabel* m_serialCaption;
    QLabel* m_codeCaption;
    QLabel* m_partnerTitle;
    QLabel* m_partnerCaption;
    QLabel* m_doipCaption;
    QLabel* m_promptText;
};

class SessionPage : public QWidget {
    Q_OBJECT
protected:
    void changeEvent(QEvent* event) override;

public:
    explicit SessionPage(QWidget* parent = nullptr);
    void retranslate();

signals:
    void retranslated();

public:
    QLabel* role;            // label_RemoteRole
    QLabel* deviceNumber;    // label_RemoteDeviceNum
    QLabel* startTime;       // label_RemoteStartTime
    QLabel* duration;        // label_RemoteDuration
    QLabel* location;        // label_RemoteLocation
    QLabel* delayB;          // label_DelayB
    QLabel* delayC;          // label_DelayC
    QLabel* bytesB;          // label_BytesB
    QLabel* bytesC;          // label_BytesC
    QLabel* peer;            // label_RemotePeer
    QPushButton* end;        // Btn_Remote_End
    QWidget* confirm;        // widget_Exit_Remote_Confirm
    QPushButton* confirmYes; // Btn_Exit_Remote_Confirm
    QPushButton* confirmNo;  // Btn_Exit_Remote_Cancel

private:
    QLabel* m_title;
    QLabel* m_captions[8];
    QLabel* m_confirmText;
};

class P2PPage : public QWidget {
    Q_OBJECT
protected:
    void changeEvent(QEvent* event) override;

public:
    explicit P2PPage(QWidget* parent = nullptr);
    void retranslate();
    // The listening panel's text for the port.
    void setListeningPort(int port);

    QComboBox* doip;            // comboBox_SelDoIp
    QLineEdit* listenPort;      // lineEdit_ServerPort
    QPushButton* listen;        // Btn_Remote_Listen
    QWidget* listening;         // widget_Verification_5
    QPushButton* closeListen;   // Btn_CloseListen
    QLineEdit* address;         // lineEdit_CServerAddr
    QLineEdit* connectPort;     // lineEdit_CServerPort
    QPushButton* connectButton; // Btn_Remote_Conn
    QPushButton* back;          // Btn_P2P_Return

private:
    QLabel* m_title;
    QLabel* m_listenTitle;
    QLabel* m_connectTitle;
    QLabel* m_captions[4];
    QLabel* m_listeningText;
    int m_port = 0;
};

// "DoIP Off", "Standard DoIP", "BMW DoIP", "MB DoIP" into a combo (re-texted in place).
void fillDoIpCombo(QComboBox* combo);
// The look of the blue action buttons; grey when off.
QString remoteButtonStyle(bool enabled);
