#include "account/AccountPages.h"

#include "account/AccountFlows.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {

const QString kTitleStyle = QStringLiteral("font-size:20px;font-weight:bold;color:#1F2A36;");
const QString kLinkStyle = QStringLiteral("color:rgb(2, 167, 240);font-size:13px;");
const QString kHintStyle = QStringLiteral("color:rgb(255, 59, 48);font-size:13px;");
const QString kFieldStyle = QStringLiteral("QLineEdit{border:1px solid #D7D7D7;border-radius:6px;padding:0 8px;"
                                           "background:#FFFFFF;font-size:14px;}");

QLabel* makeLabel(QWidget* parent, const char* name, const QString& style = QString())
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    if (!style.isEmpty())
        label->setStyleSheet(style);
    return label;
}

QLineEdit* makeField(QWidget* parent, const char* name, bool secret = false)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setMinimumHeight(38);
    field->setStyleSheet(kFieldStyle);
    if (secret)
        field->setEchoMode(QLineEdit::Password);
    return field;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& style)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setCursor(Qt::PointingHandCursor);
    button->setMinimumHeight(40);
    button->setStyleSheet(style);
    return button;
}

QPushButton* makeCodeButton(QWidget* parent, const char* name)
{
    QPushButton* button = makeButton(parent, name, account::codeButtonIdleStyle());
    button->setMinimumWidth(130);
    return button;
}

QPushButton* makeBackButton(QWidget* parent, const char* name)
{
    auto* button = makeButton(parent, name, kLinkStyle + QStringLiteral("border:none;background:transparent;"));
    button->setFlat(true);
    return button;
}

// A white column of fixed width in the middle of the page; the page's widgets go into its layout.
QVBoxLayout* column(QWidget* page, QLabel*& title)
{
    page->setAttribute(Qt::WA_StyledBackground, true);
    page->setStyleSheet(QStringLiteral("AccountPage{background-color:#F6F6F6;}"));
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 40, 0, 20);
    auto* body = new QWidget(page);
    body->setObjectName(QStringLiteral("widget_AccountBody"));
    body->setAttribute(Qt::WA_StyledBackground, true);
    body->setStyleSheet(QStringLiteral("QWidget#widget_AccountBody{background-color:#FFFFFF;border-radius:10px;}"));
    body->setFixedWidth(440);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(body);
    row->addStretch(1);
    outer->addLayout(row);
    outer->addStretch(1);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(32, 28, 32, 28);
    layout->setSpacing(14);
    title = makeLabel(body, "label_AccountTitle", kTitleStyle);
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    return layout;
}

QHBoxLayout* fieldWithButton(QLineEdit* field, QPushButton* button)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(field, 1);
    row->addWidget(button);
    return row;
}

void setActionEnabled(QPushButton* button, bool enabled)
{
    button->setEnabled(enabled);
    button->setStyleSheet(account::actionButtonStyle(enabled));
}

} // namespace

AccountPage::AccountPage(QWidget* parent)
    : QWidget(parent)
    , title(nullptr)
{
}

void AccountPage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

PhoneSignInPage::PhoneSignInPage(QWidget* parent)
    : AccountPage(parent)
{
    setObjectName(QStringLiteral("PhoneSignInPage"));
    QVBoxLayout* layout = column(this, title);
    QWidget* body = title->parentWidget();
    phone = makeField(body, "lineEdit_phone_number_2");
    phone->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{11}")), phone));
    code = makeField(body, "lineEdit_Pass_2");
    code->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,6}")), code));
    getCode = makeCodeButton(body, "Btn_Get_Pass_2");
    signIn = makeButton(body, "Btn_User_Login_2", account::phoneSignInEnabledStyle());
    hint = makeLabel(body, "label_LoginHint", kHintStyle);
    hint->setWordWrap(true);
    layout->addWidget(phone);
    layout->addLayout(fieldWithButton(code, getCode));
    layout->addWidget(hint);
    layout->addWidget(signIn);
    back = makeBackButton(body, "Btn_LogInPhone_Return");
    layout->addWidget(back, 0, Qt::AlignLeft);
    retranslate();
}

void PhoneSignInPage::retranslate()
{
    title->setText(tr("Sign in with your phone"));
    phone->setPlaceholderText(tr("Enter phone number"));
    code->setPlaceholderText(tr("Enter dynamic password"));
    if (getCode->isEnabled())
        getCode->setText(tr("Get verification code"));
    signIn->setText(tr("Sign in"));
    back->setText(tr("< Back"));
}

void PhoneSignInPage::showCountdown(int seconds)
{
    getCode->setText(QString::number(seconds) + tr("S"));
}

void PhoneSignInPage::showCodeButtonIdle()
{
    getCode->setText(tr("Get verification code"));
    getCode->setEnabled(true);
}

PhoneCentrePage::PhoneCentrePage(QWidget* parent)
    : AccountPage(parent)
{
    setObjectName(QStringLiteral("PhoneCentrePage"));
    QVBoxLayout* layout = column(this, title);
    QWidget* body = title->parentWidget();
    shownName = makeLabel(body, "label_User_Nickname", QStringLiteral("font-size:16px;color:#1F2A36;"));
    userName = makeLabel(body, "label_User_Phone", QStringLiteral("font-size:14px;color:rgb(127, 127, 127);"));
    nickname = makeButton(body, "Btn_User_Name", account::actionButtonStyle(true));
    signOut = makeButton(body, "Btn_Exit_User", account::actionButtonStyle(false) + QStringLiteral("color:#1F2A36;"));
    layout->addWidget(shownName);
    layout->addWidget(userName);
    layout->addWidget(nickname);
    layout->addWidget(signOut);
    retranslate();
}

void PhoneCentrePage::retranslate()
{
    title->setText(tr("User centre"));
    signOut->setText(tr("Sign out"));
    nickname->setAccessibleName(tr("Change nickname")); // shows the nickname, which may be empty
}

NicknamePage::NicknamePage(QWidget* parent)
    : AccountPage(parent)
{
    setObjectName(QStringLiteral("NicknamePage"));
    QVBoxLayout* layout = column(this, title);
    QWidget* body = title->parentWidget();
    nickname = makeField(body, "lineEdit_ModifyName");
    nickname->setMaxLength(32);
    confirm = makeButton(body, "Btn_ModifyName_Confirm", account::actionButtonStyle(false));
    confirm->setEnabled(false);
    back = makeBackButton(body, "Btn_ModifyName_Return");
    layout->addWidget(nickname);
    layout->addWidget(confirm);
    layout->addWidget(back, 0, Qt::AlignLeft);
    connect(nickname, &QLineEdit::textChanged, this,
        [this](const QString& text) { setActionEnabled(confirm, !text.isEmpty()); });
    retranslate();
}

void NicknamePage::retranslate()
{
    title->setText(tr("Change nickname"));
    nickname->setPlaceholderText(tr("Enter a nickname"));
    confirm->setText(tr("Confirm"));
    back->setText(tr("< Back"));
}

CodeFormPage::CodeFormPage(QWidget* parent, const char* emailName, const char* codeName, const char* passwordName,
    const char* codeButtonName, const char* actionName, const char* backName)
    : AccountPage(parent)
{
    QVBoxLayout* layout = column(this, title);
    QWidget* body = title->parentWidget();
    email = makeField(body, emailName);
    email->setMaxLength(254);
    code = makeField(body, codeName);
    code->setMaxLength(6);
    code->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,6}")), code));
    password = makeField(body, passwordName, true);
    password->setMaxLength(64);
    getCode = makeCodeButton(body, codeButtonName);
    action = makeButton(body, actionName, account::actionButtonStyle(false));
    action->setEnabled(false);
    back = makeBackButton(body, backName);
    layout->addWidget(email);
    layout->addLayout(fieldWithButton(code, getCode));
    layout->addWidget(password);
    layout->addWidget(action);
    layout->addWidget(back, 0, Qt::AlignLeft);
    for (QLineEdit* field : {email, code, password})
        connect(field, &QLineEdit::textChanged, this, &CodeFormPage::refreshAction);
}

void CodeFormPage::refreshAction()
{
    setActionEnabled(action, !email->text().isEmpty() && !code->text().isEmpty() && !password->text().isEmpty());
}

void CodeFormPage::showCountdown(int seconds)
{
    getCode->setText(QString::number(seconds) + tr("S"));
}

void CodeFormPage::showCodeButtonIdle()
{
    getCode->setText(tr("Get verification code"));
    getCode->setStyleSheet(account::codeButtonIdleStyle());
    getCode->setEnabled(true);
}

RegisterPage::RegisterPage(QWidget* parent)
    : CodeFormPage(parent, "lnEdit_RegisterEmailAddress", "lnEdit_RegisterlAuthCode", "lnEdit_RegisterPW",
        "Btn_RegisterGetCode", "Btn_UserRegister", "Btn_Register_Return")
{
    setObjectName(QStringLiteral("RegisterPage"));
    retranslate();
}

void RegisterPage::retranslate()
{
    title->setText(tr("Create an account"));
    email->setPlaceholderText(tr("E-mail address"));
    code->setPlaceholderText(tr("Verification code"));
    password->setPlaceholderText(tr("Password (at least 6 characters)"));
    if (getCode->isEnabled())
        getCode->setText(tr("Get verification code"));
    action->setText(tr("Register"));
    back->setText(tr("< Back to sign in"));
}

ResetPasswordPage::ResetPasswordPage(QWidget* parent)
    : CodeFormPage(parent, "lnEdit_EmailAddressPW", "lnEdit_EmailAutoCodePW", "lnEdit_EmailPW", "Btn_ResetGetCode",
        "Btn_UserResetPW", "Btn_ResetPW_Return")
{
    setObjectName(QStringLiteral("ResetPasswordPage"));
    retranslate();
}

void ResetPasswordPage::retranslate()
{
    title->setText(tr("Reset your password"));
    email->setPlaceholderText(tr("E-mail address"));
    code->setPlaceholderText(tr("Verification code"));
    password->setPlaceholderText(tr("New password (at least 6 characters)"));
    if (getCode->isEnabled())
        getCode->setText(tr("Get verification code"));
    action->setText(tr("Reset password"));
    back->setText(tr("< Back to sign in"));
}

EmailCentrePage::EmailCentrePage(QWidget* parent)
    : AccountPage(parent)
{
    setObjectName(QStringLiteral("EmailCentrePage"));
    QVBoxLayout* layout = column(this, title);
    QWidget* body = title->parentWidget();
    nickname = makeLabel(body, "label_Nickname", QStringLiteral("font-size:18px;color:#1F2A36;"));
    email = makeLabel(body, "label_Email", QStringLiteral("font-size:14px;color:rgb(127, 127, 127);"));
    adapter = makeLabel(body, "label_AdapterRegistration", QStringLiteral("font-size:12px;color:rgb(127, 127, 127);"));
    adapter->setWordWrap(true);
    adapter->hide();
    changeNickname = makeButton(body, "Btn_Nickname", account::actionButtonStyle(true));
    changePassword = makeButton(body, "Btn_Change_Password", account::actionButtonStyle(true));
    signOut = makeButton(body, "Btn_Logout",
        QStringLiteral("color:#1F2A36;background-color:rgb(235, 235, 235);border-radius:8px;border-style:none;"
                       "font-size:16px;"));
    layout->addWidget(nickname, 0, Qt::AlignHCenter);
    layout->addWidget(email, 0, Qt::AlignHCenter);
    layout->addWidget(adapter);
    layout->addWidget(changeNickname);
    layout->addWidget(changePassword);
    layout->addWidget(signOut);
    retranslate();
}

void EmailCentrePage::retranslate()
{
    title->setText(tr("User centre"));
    changeNickname->setText(tr("Change nickname"));
    changePassword->setText(tr("Change password"));
    signOut->setText(tr("Sign out"));
}

ChangePasswordPage::ChangePasswordPage(QWidget* parent)
    : AccountPage(parent)
{
    setObjectName(QStringLiteral("ChangePasswordPage"));
    QVBoxLayout* layout = column(this, title);
    QWidget* body = title->parentWidget();
    sentTo = makeLabel(body, "label_ChangePasswordTip", QStringLiteral("font-size:13px;color:rgb(127, 127, 127);"));
    sentTo->setWordWrap(true);
    code = makeField(body, "lineEdit_SecretKey");
    code->setMaxLength(6);
    code->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,6}")), code));
    password = makeField(body, "lineEdit_Password", true);
    password->setMaxLength(64);
    confirm = makeButton(body, "Btn_ChangePwd_Confirm", account::actionButtonStyle(false));
    confirm->setEnabled(false);
    back = makeBackButton(body, "Btn_ChangePwd_Return");
    layout->addWidget(sentTo);
    layout->addWidget(code);
    layout->addWidget(password);
    layout->addWidget(confirm);
    layout->addWidget(back, 0, Qt::AlignLeft);
    for (QLineEdit* field : {code, password})
        connect(field, &QLineEdit::textChanged, this, &ChangePasswordPage::refreshAction);
    retranslate();
}

void ChangePasswordPage::refreshAction()
{
    setActionEnabled(confirm, !code->text().isEmpty() && !password->text().isEmpty());
}

void ChangePasswordPage::retranslate()
{
    title->setText(tr("Change password"));
    code->setPlaceholderText(tr("Verification code"));
    password->setPlaceholderText(tr("New password (at least 6 characters)"));
    confirm->setText(tr("Confirm"));
    back->setText(tr("< Back"));
}

EmailSignInPage::EmailSignInPage(QWidget* parent)
    : AccountPage(parent)
{
    setObjectName(QStringLiteral("EmailSignInPage"));
    QVBoxLayout* layout = column(this, title);
    QWidget* body = title->parentWidget();
    email = makeField(body, "lnEdit_LogInEmail");
    email->setMaxLength(254);
    password = makeField(body, "lnEdit_AuthCodeEmail", true);
    password->setMaxLength(64);
    remember = new QCheckBox(body);
    remember->setObjectName(QStringLiteral("cBox_RemberPW"));
    autoSignIn = new QCheckBox(body);
    autoSignIn->setObjectName(QStringLiteral("cBox_AutoLogIn"));
    signIn = makeButton(body, "Btn_UserLogInEmail", account::actionButtonStyle(false));
    signIn->setEnabled(false);
    toRegister = makeLabel(body, "lbl_TurnRegister", kLinkStyle);
    toReset = makeLabel(body, "lbl_TurnResetPW", kLinkStyle);
    toRegister->setCursor(Qt::PointingHandCursor);
    toReset->setCursor(Qt::PointingHandCursor);
    layout->addWidget(email);
    layout->addWidget(password);
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(remember);
    boxes->addStretch(1);
    boxes->addWidget(autoSignIn);
    layout->addLayout(boxes);
    layout->addWidget(signIn);
    auto* links = new QHBoxLayout;
    links->addWidget(toRegister);
    links->addStretch(1);
    links->addWidget(toReset);
    layout->addLayout(links);
    back = makeBackButton(body, "Btn_LogInEmail_Return");
    layout->addWidget(back, 0, Qt::AlignLeft);
    for (QLineEdit* field : {email, password})
        connect(field, &QLineEdit::textChanged, this, &EmailSignInPage::refreshAction);
    retranslate();
}

void EmailSignInPage::refreshAction()
{
    setActionEnabled(signIn, !email->text().isEmpty() && !password->text().isEmpty());
}

void EmailSignInPage::retranslate()
{
    title->setText(tr("Sign in"));
    email->setPlaceholderText(tr("E-mail address"));
    password->setPlaceholderText(tr("Password"));
    remember->setText(tr("Remember password"));
    autoSignIn->setText(tr("Sign in automatically"));
    signIn->setText(tr("Sign in"));
    toRegister->setText(tr("Create an account"));
    toReset->setText(tr("Forgot your password?"));
    back->setText(tr("< Back"));
}
