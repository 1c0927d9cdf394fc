// The account pages, thin: they lay out the widgets under the object names
// the product's slots know and re-text themselves on a language change;
// AccountController fills them and handles their clicks.
//  PhoneSignInPage     17  number and SMS code
//  PhoneCentrePage     10  the phone user centre
//  NicknamePage        11  a new nickname
//  ResetPasswordPage   12  e-mail, code, new password
//  RegisterPage        13  e-mail, code, password
//  EmailCentrePage     14  the e-mail user centre
//  ChangePasswordPage  15  code and new password of the signed-in address
//  EmailSignInPage     16  e-mail, password, remember and automatic sign-in
#pragma once

#include <QWidget>

class QCheckBox;
class QEvent;
class QLabel;
class QLineEdit;
class QPushButton;

class AccountPage : public QWidget {
    Q_OBJECT
public:
    explicit AccountPage(QWidget* parent);
    virtual void retranslate() = 0;

protected:
    void changeEvent(QEvent* event) override;
    QLabel* title;
};

class PhoneSignInPage : public AccountPage {
    Q_OBJECT
public:
    explicit PhoneSignInPage(QWidget* parent = nullptr);
    void retranslate() override;
    // The code button's label while its countdown runs.
    void showCountdown(int seconds);
    void showCodeButtonIdle();

    QLineEdit* phone;     // lineEdit_phone_number_2
    QLineEdit* code;      // lineEdit_Pass_2
    QPushButton* getCode; // Btn_Get_Pass_2
    QPushButton* signIn;  // Btn_User_Login_2
    QLabel* hint;         // label_LoginHint
    QPushButton* back;    // Btn_LogInPhone_Return, to the page the user came from
};

class PhoneCentrePage : public AccountPage {
    Q_OBJECT
public:
    explicit PhoneCentrePage(QWidget* parent = nullptr);
    void retranslate() override;

    QPushButton* nickname; // Btn_User_Name
    QLabel* shownName;     // label_User_Nickname
    QLabel* userName;      // label_User_Phone
    QPushButton* signOut;  // Btn_Exit_User
};

class NicknamePage : public AccountPage {
    Q_OBJECT
public:
    explicit NicknamePage(QWidget* parent = nullptr);
    void retranslate() override;

    QLineEdit* nickname;  // lineEdit_ModifyName
    QPushButton* confirm; // Btn_ModifyName_Confirm
    QPushButton* back;    // Btn_ModifyName_Return
};

// The registration and reset pages share their shape: address, code with
// its button, password, action.
class CodeFormPage : public AccountPage {
    Q_OBJECT
public:
    CodeFormPage(QWidget* parent, const char* emailName, const char* codeName, const char* passwordName,
        const char* codeButtonName, const char* actionName, const char* backName);
    void showCountdown(int seconds);
    void showCodeButtonIdle();
    // The action button is usable when all three fields are filled.
    void refreshAction();

    QLineEdit* email;
    QLineEdit* code;
    QLineEdit* password;
    QPushButton* getCode;
    QPushButton* action;
    QPushButton* back; // to the sign-in page
};

class RegisterPage : public CodeFormPage {
    Q_OBJECT
public:
    explicit RegisterPage(QWidget* parent = nullptr);
    void retranslate() override;
};

class ResetPasswordPage : public CodeFormPage {
    Q_OBJECT
public:
    explicit ResetPasswordPage(QWidget* parent = nullptr);
    void retranslate() override;
};

class EmailCentrePage : public AccountPage {
    Q_OBJECT
public:
    explicit EmailCentrePage(QWidget* parent = nullptr);
    void retranslate() override;

    QLabel* nickname;            // label_Nickname
    QLabel* email;               // label_Email
    QLabel* adapter;             // label_AdapterRegistration
    QPushButton* changeNickname; // Btn_Nickname
    QPushButton* changePassword; // Btn_Change_Password
    QPushButton* signOut;        // Btn_Logout
};

class ChangePasswordPage : public AccountPage {
    Q_OBJECT
public:
    explicit ChangePasswordPage(QWidget* parent = nullptr);
    void retranslate() override;
    void refreshAction();

    QLabel* sentTo;       // label_ChangePasswordTip
    QLineEdit* code;      // lineEdit_SecretKey
    QLineEdit* password;  // lineEdit_Password
    QPushButton* confirm; // Btn_ChangePwd_Confirm
    QPushButton* back;    // Btn_ChangePwd_Return
};

class EmailSignInPage : public AccountPage {
    Q_OBJECT
public:
    explicit EmailSignInPage(QWidget* parent = nullptr);
    void retranslate() override;
    void refreshAction();

    QLineEdit* email;      // lnEdit_LogInEmail
    QLineEdit* password;   // lnEdit_AuthCodeEmail
    QCheckBox* remember;   // cBox_RemberPW
    QCheckBox* autoSignIn; // cBox_AutoLogIn
    QPushButton* signIn;   // Btn_UserLogInEmail
    QLabel* toRegister;    // lbl_TurnRegister
    QLabel* toReset;       // lbl_TurnResetPW
    QPushButton* back;     // Btn_LogInEmail_Return, to the page the user came from
};
