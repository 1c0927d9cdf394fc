#include "maintenance/FirmwarePage.h"

#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using firmware::Image;

namespace {

constexpr const char* kGrey = "#7F7F7F";
constexpr const char* kBlue = "#02A7F0";

// As the device page shows versions: from the first "V" on, "---" when empty.
// The day of an ISO 8601 time ("2026-10-14T08:00:00Z" -> "2026-10-14"); other texts as they are.
QString publishDay(const std::string& text)
{
    if (text.empty())
        return QStringLiteral("---");
    const QDateTime when = QDateTime::fromString(QString::fromStdString(text), Qt::ISODate);
    return when.isValid() ? when.date().toString(Qt::ISODate) : QString::fromStdString(text);
}

QString orDashes(const std::string& text)
{
    if (text.empty())
        return QStringLiteral("---");
    const std::size_t v = text.find('V');
    return QString::fromStdString(v == std::string::npos ? text : text.substr(v));
}

int imageOfState(int state)
{
    return state >= 1 && state <= 9 ? (state - 1) / 3 : -1;
}

} // namespace

FirmwarePage::FirmwarePage(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("page_Firmware_Update"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    m_heading = new QLabel(this);
    m_heading->setObjectName(QStringLiteral("lbl_FirmwareTitle"));
    layout->addWidget(m_heading);
    m_none = new QLabel(this);
    m_none->setObjectName(QStringLiteral("lbl_NoSystem"));
    m_none->hide();
    layout->addWidget(m_none);

    static const char* const names[] = {"System", "App", "Can"};
    for (int i = 0; i < 3; ++i) {
        Row& row = m_rows[i];
        auto* grid = new QGridLayout;
        grid->setHorizontalSpacing(16);
        row.title = new QLabel(this);
        row.title->setStyleSheet(QStringLiteral("font-weight: bold;"));
        row.current = new QLabel(this);
        row.latest = new QLabel(this);
        row.date = new QLabel(this);
        row.result = new QLabel(this);
        row.result->setObjectName(QStringLiteral("lbl_Result%1").arg(QLatin1String(names[i])));
        row.result->setWordWrap(true);
        row.bar = new QProgressBar(this);
        row.bar->setObjectName(QStringLiteral("progressBar_%1").arg(QLatin1String(names[i])));
        row.bar->setRange(0, 100);
        row.bar->hide();
        grid->addWidget(row.title, 0, 0, 1, 3);
        grid->addWidget(row.current, 1, 0);
        grid->addWidget(row.latest, 1, 1);
        grid->addWidget(row.date, 1, 2);
        grid->addWidget(row.result, 2, 0, 1, 3);
        grid->addWidget(row.bar, 3, 0, 1, 3);
        layout->addLayout(grid);
        layout->addSpacing(8);
    }
    layout->addStretch(1);
    auto* buttons = new QHBoxLayout;
    m_back = new QPushButton(this);
    m_back->setObjectName(QStringLiteral("Btn_FirmwareBack"));
    m_updateAll = new QPushButton(this);
    m_updateAll->setObjectName(QStringLiteral("Btn_upAll"));
    for (QPushButton* b : {m_back, m_updateAll}) {
        b->setCursor(Qt::PointingHandCursor);
        b->setMinimumSize(110, 34);
    }
    buttons->addWidget(m_back);
    buttons->addStretch(1);
    buttons->addWidget(m_updateAll);
    layout->addLayout(buttons);
    retranslate();
    showQuerying();
}

void FirmwarePage::retranslate()
{
    m_heading->setText(tr("Firmware update"));
    m_rows[0].title->setText(tr("System firmware"));
    m_rows[1].title->setText(tr("Application"));
    m_rows[2].title->setText(tr("CAN firmware"));
    m_none->setText(tr("No system available"));
    m_updateAll->setText(tr("Update all"));
    m_back->setText(tr("Back"));
}

void FirmwarePage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void FirmwarePage::setResult(QLabel* label, const QString& text, const char* colour)
{
    label->setText(text);
    label->setStyleSheet(QStringLiteral("color: %1;").arg(QLatin1String(colour)));
}

void FirmwarePage::showQuerying()
{
    m_none->hide();
    for (Row& row : m_rows) {
        row.current->setText(tr("Current version: ") + QStringLiteral("---"));
        row.latest->setText(tr("Latest version: ") + QStringLiteral("---"));
        row.date->setText(tr("Publish date: ") + QStringLiteral("---"));
        setResult(row.result, QString(), kGrey);
    }
    m_updateAll->setEnabled(false);
}

void FirmwarePage::showVersions(const FirmwareUpdate& update)
{
    // Update all flashes every image not yet done, also one that is already
    // current (a technician re-flashes an image that way); it needs the
    // server's answer for at least one of them.
    bool anyToFlash = false;
    for (Image which : {Image::System, Image::Application, Image::Can}) {
        const FirmwareUpdate::ImageState& s = update.image(which);
        Row& row = m_rows[static_cast<int>(which)];
        row.current->setText(tr("Current version: ") + orDashes(s.current));
        row.latestVersion = orDashes(s.latest.versionNo);
        row.latest->setText(tr("Latest version: ") + row.latestVersion);
        row.date->setText(tr("Publish date: ") + publishDay(s.latest.updatedDate));
        switch (s.query) {
        case FirmwareUpdate::Query::Latest:
            anyToFlash = anyToFlash || !s.done;
            setResult(row.result, tr("Congrats,it is already the latest version!"), kGrey);
            break;
        case FirmwareUpdate::Query::UpdateAvailable:
            anyToFlash = anyToFlash || !s.done;
            setResult(row.result, tr("New version update is available!"), kBlue);
            break;
        case FirmwareUpdate::Query::Failed:
            setResult(row.result,
                tr("Sorry, unable to retrieve the current version information. Please try again later."), kGrey);
            break;
        case FirmwareUpdate::Query::NotAsked:
            setResult(row.result, QString(), kGrey);
            break;
        }
    }
    m_none->setVisible(!update.hasImages());
    m_updateAll->setEnabled(anyToFlash);
}

void FirmwarePage::startRun(const FirmwareUpdate& update)
{
    for (Image which : {Image::System, Image::Application, Image::Can}) {
        Row& row = m_rows[static_cast<int>(which)];
        const bool runs = !update.image(which).done && !update.image(which).typeName.empty();
        row.bar->setValue(0);
        row.bar->setVisible(runs);
    }
    setButtonsEnabled(false);
}

void FirmwarePage::showReport(const SignalsUpgradeInfo_struct& report)
{
    const int image = imageOfState(report.state);
    if (image < 0)
        return;
    Row& row = m_rows[image];
    row.bar->show();
    row.bar->setValue(report.progress);
    const bool failed = report.state % 3 == 2;
    setResult(row.result, report.text, failed ? kGrey : kBlue);
    // A written image is what the adapter runs now.
    if (report.state % 3 == 0)
        row.current->setText(tr("Current version: ") + row.latestVersion);
}

void FirmwarePage::setButtonsEnabled(bool enabled)
{
    m_updateAll->setEnabled(enabled);
    m_back->setEnabled(enabled);
}

void FirmwarePage::hideProgress()
{
    for (Row& row : m_rows)
        row.bar->hide();
}

QString FirmwarePage::resultText(Image which) const
{
    return m_rows[static_cast<int>(which)].result->text();
}

QString FirmwarePage::currentText(Image which) const
{
    return m_rows[static_cast<int>(which)].current->text();
}

bool FirmwarePage::progressShown(Image which) const
{
    return !m_rows[static_cast<int>(which)].bar->isHidden();
}

int FirmwarePage::progressValue(Image which) const
{
    return m_rows[static_cast<int>(which)].bar->value();
}
