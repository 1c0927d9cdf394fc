#include "app/FrameChrome.h"
#include "ui_Kestrix.h"

#include "kit/Accessibility.h"
#include "kit/Loading.h"
#include "kit/Pages.h"
#include "kit/Pictures.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QIcon>
#include <QPushButton>

namespace {

QString text(const char* source)
{
    return QCoreApplication::translate("Kestrix", source);
}

} // namespace

void FrameChrome::setUp(Ui::KestrixClass& ui, QWidget* frame)
{
    auto* group = new QButtonGroup(frame);
    group->setExclusive(true);
    for (QPushButton* button :
        {ui.Btn_Device, ui.Btn_Drivers, ui.Btn_Remote, ui.Btn_Kestrix, ui.Btn_Setting, ui.Btn_RepairData}) {
        button->setCheckable(true);
        group->addButton(button);
    }
    ui.label_Logo->setCursor(Qt::PointingHandCursor);
    ui.Btn_Setting->setGeometry(-3, 153, 167, 51);
    ui.lbl_upgradeTip->setGeometry(120, 162, 21, 21);
    ui.lbl_upgradeTip->hide();
    ui.Btn_Kestrix->hide();
    ui.Btn_RepairData->hide();
    ui.Btn_RepairData->setEnabled(false);
    // The pages the page table appends after the form's.
    for (const Pages::Page& page : Pages::kTable) {
        if (!page.appended)
            continue;
        auto* host = new QWidget(ui.Tab_Stack);
        host->setObjectName(QLatin1String(page.objectName));
        ui.Tab_Stack->addWidget(host);
    }
}

void FrameChrome::showNavigationPictures(Ui::KestrixClass& ui, const QString& language)
{
    const struct {
        QPushButton* button;
        const char* key;
    } buttons[] = {{ui.Btn_Device, "device"}, {ui.Btn_Drivers, "drivers"}, {ui.Btn_Remote, "remote"},
        {ui.Btn_Kestrix, "diag"}, {ui.Btn_Setting, "setting"}, {ui.Btn_RepairData, "repair"}};
    for (const auto& each : buttons) {
        const QString stem = QStringLiteral(":/img/nav/%1_%2_").arg(QLatin1String(each.key), language);
        const QPixmap off = loadPicture(stem + QStringLiteral("off.png"));
        QIcon icon;
        icon.addPixmap(off, QIcon::Normal, QIcon::Off);
        icon.addPixmap(loadPicture(stem + QStringLiteral("on.png")), QIcon::Normal, QIcon::On);
        each.button->setIcon(icon);
        each.button->setIconSize(off.size());
    }
}

Loading* FrameChrome::makeBusyOverlay(QWidget* frame)
{
    auto* loading = new Loading(frame);
    loading->tipsLabel()->setText(text("Executing"));
    loading->setWindowFlags(loading->windowFlags() | Qt::FramelessWindowHint);
    loading->setMovieFile(QStringLiteral(":/image/loading.gif"));
    loading->hide();
    loading->move(QPoint(430, 245));
    return loading;
}

void FrameChrome::setBusy(Loading* overlay, bool busy)
{
    if (busy) {
        overlay->show();
        overlay->raise();
    } else {
        overlay->hide();
    }
}

// The navigation and title buttons show pictures only: screen readers and
// keyboard users get their names and what they do from here.
void FrameChrome::describe(Ui::KestrixClass& ui)
{
    Accessibility::describe(ui.Btn_Device, text("Device"), text("Shows the connected adapter"));
    Accessibility::describe(ui.Btn_Drivers, text("Drivers"), text("Installs and switches the vehicle drivers"));
    Accessibility::describe(
        ui.Btn_Remote, text("Remote"), text("Lends the adapter to a technician or reaches another"));
    Accessibility::describe(ui.Btn_Kestrix, text("Diagnosis"), text("Starts the diagnosis of a vehicle make"));
    Accessibility::describe(ui.Btn_Setting, text("Settings"), text("Logs, start-up, updates, language and account"));
    Accessibility::describe(ui.Btn_RepairData, text("Repair data"), text("Repair information of the vehicle makes"));
    Accessibility::describe(ui.Btn_Min, text("Minimise"), text("Minimises the window"));
    Accessibility::describe(
        ui.Btn_Close, text("Close"), text("Hides the window; the program keeps running in the tray"));
    Accessibility::describe(ui.label_Logo, text("Brindlewick web site"), text("Opens the maker's web site"));
}
