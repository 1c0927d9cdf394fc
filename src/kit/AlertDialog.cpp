#include "kit/AlertDialog.h"

#include "kit/Accessibility.h"

#include "kit/DialogSeam.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kDialogWidth = 380;
constexpr int kSingleButtonWidth = 160;
constexpr int kButtonHeight = 36;

QFont dialogFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace

AlertDialog::AlertDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral(" "));
    setFixedWidth(kDialogWidth);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    auto* main = new QWidget(this);
    main->setObjectName(QStringLiteral("main"));
    main->setStyleSheet(QStringLiteral("QWidget#main { background-color: white; }"));
    main->setAttribute(Qt::WA_StyledBackground, true);
    outer->addWidget(main);

    auto* column = new QVBoxLayout(main);
    column->setSpacing(15);
    column->setContentsMargins(24, 20, 24, 20);

    m_title = new QLabel(main);
    m_title->setObjectName(QStringLiteral("label_Title"));
    m_title->setFont(dialogFont(18, true));
    m_title->setAlignment(Qt::AlignCenter);
    column->addWidget(m_title);

    m_text = new QLabel(main);
    m_text->setObjectName(QStringLiteral("label_Text"));
    m_text->setFont(dialogFont(14));
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignCenter);
    column->addWidget(m_text);

    column->addSpacing(20);

    auto* row = new QHBoxLayout;
    row->setSpacing(15);
    m_confirm = new QPushButton(main);
    m_confirm->setObjectName(QStringLiteral("Btn_Confirm"));
    m_cancel = new QPushButton(main);
    m_cancel->setObjectName(QStringLiteral("Btn_Cancel"));
    for (QPushButton* button : {m_confirm, m_cancel}) {
        button->setFont(dialogFont(14));
        button->setFixedHeight(kButtonHeight);
        button->setCursor(Qt::PointingHandCursor);
        button->setAutoDefault(false);
    }
    row->addStretch(1);
    row->addWidget(m_confirm);
    row->addWidget(m_cancel);
    row->addStretch(1);
    column->addLayout(row);

    connect(m_confirm, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Enter confirms, Escape cancels (also with a single button: closing is 0).
    Accessibility::setDialogKeys(this, m_confirm, nullptr);
    setTabOrder(m_confirm, m_cancel);
}

void AlertDialog::setTitle(const QString& title)
{
    m_title->setText(title);
}

void AlertDialog::setText(const QString& text)
{
    m_text->setText(text);
}

void AlertDialog::setButtons(const QString& confirmText, int confirmStyle, const QString& cancelText, int cancelStyle)
{
    m_confirm->setText(confirmText);
    m_confirm->setStyleSheet(buttonStyleSheet(confirmStyle));
    m_cancel->setText(cancelText);
    m_cancel->setStyleSheet(buttonStyleSheet(cancelStyle));
    Accessibility::keepFocusFrame(m_confirm);
    Accessibility::keepFocusFrame(m_cancel);
    m_confirm->setFocus();
    if (cancelText.isEmpty()) {
        m_cancel->hide();
        m_confirm->setFixedWidth(kSingleButtonWidth);
    } else {
        m_cancel->show();
        m_confirm->setMinimumWidth(0);
        m_confirm->setMaximumWidth(QWIDGETSIZE_MAX);
    }
}

QString AlertDialog::buttonStyleSheet(int style)
{
    switch (style) {
    case StyleSecondary:
        return QStringLiteral("QPushButton{background-color:#FFFFFF;color:#333333;border:1px solid #CCCCCC;"
                              "border-radius:4px;padding:0px 10px;}"
                              "QPushButton:hover{background-color:#F2F2F2;}");
    case StyleDanger:
        return QStringLiteral("QPushButton{background-color:#E5484D;color:#FFFFFF;border:none;"
                              "border-radius:4px;padding:0px 10px;}"
                              "QPushButton:hover{background-color:#D13438;}");
    case StylePrimary:
    default:
        return QStringLiteral("QPushButton{background-color:#2B8FCF;color:#FFFFFF;border:none;"
                              "border-radius:4px;padding:0px 10px;}"
                              "QPushButton:hover{background-color:#2479B0;}");
    }
}

int AlertDialog::ask(QWidget* parent, const QString& title, const QString& text, const QString& confirmText,
    int confirmStyle, const QString& cancelText, int cancelStyle)
{
    if (DialogSeam::active())
        return DialogSeam::answer({DialogSeam::Kind::Alert, title, text, confirmText, cancelText});

    AlertDialog dialog(parent);
    dialog.setTitle(title);
    dialog.setText(text);
    dialog.setButtons(confirmText, confirmStyle, cancelText, cancelStyle);
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}
