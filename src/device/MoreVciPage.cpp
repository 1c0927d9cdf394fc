#include "device/MoreVciPage.h"

#include "device/VCIItem.h"
#include "ui_MoreVciPage.h"

#include <QMouseEvent>

const char* const MoreVciPage::kSelectEnabledStyle
    = "background-color: rgb(2, 167, 240);color: rgb(255, 255, "
      "255);border-radius:5px;font-size:17px;font-family:Microsoft YaHei UI;";
const char* const MoreVciPage::kSelectDisabledStyle
    = "background-color: rgb(215, 215, 215);color: rgb(255, 255, "
      "255);border-radius:5px;font-size:17px;font-family:Microsoft YaHei UI;";

MoreVciPage::MoreVciPage(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::MoreVciPageClass)
{
    ui->setupUi(this);
    ui->Label_RefreshLanVCIList->installEventFilter(this);
    setSelectEnabled(false);
}

MoreVciPage::~MoreVciPage()
{
    delete ui;
}

QListWidget* MoreVciPage::list() const
{
    return ui->listWidget_VCI;
}
QPushButton* MoreVciPage::selectButton() const
{
    return ui->Btn_SelectVCI;
}
QLabel* MoreVciPage::refreshControl() const
{
    return ui->Label_RefreshLanVCIList;
}

int MoreVciPage::rowCount() const
{
    return ui->listWidget_VCI->count();
}

VCIItem* MoreVciPage::row(int index) const
{
    QListWidgetItem* item = ui->listWidget_VCI->item(index);
    return item ? qobject_cast<VCIItem*>(ui->listWidget_VCI->itemWidget(item)) : nullptr;
}

VCIItem* MoreVciPage::addRow(const QString& serial)
{
    auto* item = new QListWidgetItem(ui->listWidget_VCI);
    auto* widget = new VCIItem(ui->listWidget_VCI->count() - 1, serial);
    item->setSizeHint(QSize(0, 56));
    ui->listWidget_VCI->setItemWidget(item, widget);
    return widget;
}

void MoreVciPage::clearRows()
{
    // Deletes every item together with its row widget.
    ui->listWidget_VCI->clear();
}

void MoreVciPage::setSelectEnabled(bool enabled)
{
    ui->Btn_SelectVCI->setEnabled(enabled);
    ui->Btn_SelectVCI->setStyleSheet(QLatin1String(enabled ? kSelectEnabledStyle : kSelectDisabledStyle));
}

bool MoreVciPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->Label_RefreshLanVCIList && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        emit refreshRequested();
    }
    return QWidget::eventFilter(watched, event);
}

void MoreVciPage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
    QWidget::changeEvent(event);
}
