#include "device/LinkDiagnosisLabel.h"

#include "device/DeviceLog.h"

#include "kit/AlertDialog.h"

#include <QEvent>

#include <system_error>

LinkDiagnosisLabel::LinkDiagnosisLabel(QWidget* parent)
    : QLabel(parent)
    , m_probes(LinkDiagnosis::Probes::system())
{
    setObjectName(QStringLiteral("lbl_WhyNoAdapter"));
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QLabel::linkActivated, this, &LinkDiagnosisLabel::diagnose);
    connect(this, &LinkDiagnosisLabel::finished, this, &LinkDiagnosisLabel::onFinished, Qt::QueuedConnection);
    showLink();
}

LinkDiagnosisLabel::~LinkDiagnosisLabel()
{
    m_workers.stopAndJoin();
}

void LinkDiagnosisLabel::showLink()
{
    setText(m_running ? tr("Checking the links to the adapter...")
                      : QStringLiteral("<a href=\"why\" style=\"color:#2B8FCF;\">%1</a>")
                            .arg(tr("No adapter found. Why?").toHtmlEscaped()));
}

void LinkDiagnosisLabel::diagnose()
{
    if (m_running)
        return;
    m_running = true;
    showLink();
    const LinkDiagnosis diagnosis(m_probes);
    try {
        m_workers.start("link-diagnosis", [this, diagnosis] { emit finished(diagnosis.run().text); });
    } catch (const std::system_error& e) {
        qCWarning(lcDevice) << "cannot start the link diagnosis:" << e.what();
        m_running = false;
        showLink();
    }
}

void LinkDiagnosisLabel::onFinished(const QString& text)
{
    m_running = false;
    showLink();
    qCInfo(lcDevice) << "link diagnosis:" << text;
    AlertDialog::ask(window(), tr("Why is no adapter found?"), text, tr("OK"), AlertDialog::StylePrimary, QString(),
        AlertDialog::StyleSecondary);
    emit diagnosed(text);
}

void LinkDiagnosisLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        showLink();
    QLabel::changeEvent(event);
}
