#include "update/UpdatePage.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

UpdatePage::UpdatePage(const QString& programVersion, QWidget* parent)
    : QWidget(parent)
    , m_programVersion(programVersion)
{
    setObjectName(QStringLiteral("UpdatePage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(60, 40, 60, 40);
    layout->setSpacing(16);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("lbl_UpdateTitle"));
    m_title->setStyleSheet(QStringLiteral("QLabel { font: bold 20px \"Microsoft YaHei\"; color: #000; }"));
    m_current = new QLabel(this);
    m_current->setObjectName(QStringLiteral("label_detection_Versions"));
    m_latest = new QLabel(this);
    m_latest->setObjectName(QStringLiteral("lbl_LatestVersion"));
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("lbl_UpdateSummary"));
    m_summary->setWordWrap(true);
    m_summary->setTextFormat(Qt::PlainText);
    for (QLabel* label : {m_current, m_latest, m_summary})
        label->setStyleSheet(QStringLiteral("QLabel { font: 14px \"Microsoft YaHei\"; color: #333; }"));
    m_button = new QPushButton(this);
    m_button->setObjectName(QStringLiteral("Btn_Detection_Update"));
    m_button->setFixedSize(200, 36);
    m_button->setCursor(Qt::PointingHandCursor);
    // Back to the settings page, which opened this one (the window finds it by name).
    m_back = new QPushButton(this);
    m_back->setObjectName(QStringLiteral("Btn_Return_9"));
    m_back->setCursor(Qt::PointingHandCursor);
    m_back->setFlat(true);
    m_back->setStyleSheet(QStringLiteral("QPushButton { font: 14px \"Microsoft YaHei\"; color: #02a7f0; border: none; "
                                         "text-align: left; padding: 0px; }"));
    layout->addWidget(m_back, 0, Qt::AlignLeft);
    layout->addWidget(m_title);
    layout->addWidget(m_current);
    layout->addWidget(m_latest);
    layout->addWidget(m_summary);
    layout->addStretch(1);
    layout->addWidget(m_button, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    setButtonAvailable(false);
    retranslate();
}

QString UpdatePage::availableStyle()
{
    return QStringLiteral(
        "QPushButton{background-color: #02a7f0;color: rgb(255, 255, 255);border-style:none;border-radius:18px;}");
}

QString UpdatePage::busyStyle()
{
    return QStringLiteral("QPushButton{background-color: rgb(215, 215, 215);color: rgb(255, "
                          "255, 255);border-style:none;border-radius:18px;}");
}

void UpdatePage::setButtonAvailable(bool available)
{
    m_button->setEnabled(available);
    m_button->setStyleSheet(available ? availableStyle() : busyStyle());
}

void UpdatePage::showChecking()
{
    m_state = State::Checking;
    retranslate();
}

void UpdatePage::showResult(const AppVersionInfo& info, bool newer)
{
    m_info = info;
    m_state = info.isEmpty() ? State::NoAnswer : newer ? State::Newer : State::Current;
    setButtonAvailable(m_state == State::Newer);
    retranslate();
}

void UpdatePage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void UpdatePage::retranslate()
{
    m_back->setText(QStringLiteral("\u2039 ") + tr("Back to settings"));
    m_title->setText(tr("Software update"));
    m_current->setText(tr("Current version: %1").arg(m_programVersion));
    m_button->setText(tr("Update"));
    switch (m_state) {
    case State::Checking:
        m_latest->setText(tr("Looking for a newer version..."));
        m_summary->clear();
        break;
    case State::Newer:
        m_latest->setText(tr("New version available: %1").arg(m_info.versionNo));
        m_summary->setText(m_info.summary);
        break;
    case State::Current:
        m_latest->setText(tr("You have the latest version."));
        m_summary->clear();
        break;
    case State::NoAnswer:
        m_latest->setText(tr("The update server could not be reached. Try again later."));
        m_summary->clear();
        break;
    }
}
