#include "maintenance/CWifiPasswordInput.h"

#include "maintenance/RouterSetup.h"

#include "kit/Accessibility.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

CWifiPasswordInput::CWifiPasswordInput(const QString& routerName, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CWifiPasswordInput"));
    setWindowTitle(tr("Please enter the router password"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(12);
    m_title = new QLabel(tr("Please enter the router password"), this);
    m_title->setObjectName(QStringLiteral("lbl_WifiPasswordTitle"));
    layout->addWidget(m_title);
    auto* name = new QLabel(routerName, this);
    name->setObjectName(QStringLiteral("lbl_WifiPasswordRouter"));
    layout->addWidget(name);

    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("lineEdit_WifiPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(63); // the longest WPA passphrase
    m_password->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QString::fromLatin1(RouterSetup::kPasswordPattern)), m_password));
    m_password->setMinimumWidth(280);
    m_password->setAccessibleName(tr("Router password"));
    m_password->setAccessibleDescription(routerName);
    layout->addWidget(m_password);

    auto* buttons = new QHBoxLayout;
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("Btn_WifiPasswordCancel"));
    m_confirm = new QPushButton(tr("Confirm"), this);
    m_confirm->setObjectName(QStringLiteral("Btn_WifiPasswordConfirm"));
    for (QPushButton* b : {m_cancel, m_confirm}) {
        b->setCursor(Qt::PointingHandCursor);
        b->setMinimumSize(110, 32);
    }
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_confirm);
    layout->addLayout(buttons);

    // Enter confirms, Escape cancels; Tab goes field, Cancel, Confirm.
    Accessibility::setDialogKeys(this, m_confirm, m_cancel);
    setTabOrder(m_password, m_cancel);
    setTabOrder(m_cancel, m_confirm);
    m_password->setFocus();

    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_confirm, &QPushButton::clicked, this, [this] {
        emit passwordEntered(m_password->text());
        accept();
    });
}
