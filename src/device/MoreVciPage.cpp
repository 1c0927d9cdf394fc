#include "device/MoreVciPage.h"

#include "device/VCIItem.h"
#include "ui_MoreVciPage.h"

#include <QPushButton>

MoreVciPage::MoreVciPage(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::MoreVciPageClass)
{
    ui->setupUi(this);
    ui->listWidget_VCI->setAccessibleName(ui->label_MoreVciTitle->text());
    connect(ui->Label_RefreshLanVCIList, &QPushButton::clicked, this, &MoreVciPage::refreshRequested);
    connect(ui->Btn_MoreVciBack, &QPushButton::clicked, this, &MoreVciPage::backRequested);
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
QPushButton* MoreVciPage::refreshControl() const
{
    return ui->Label_RefreshLanVCIList;
}
QPushButton* MoreVciPage::backButton() const
{
    return ui->Btn_MoreVciBack;
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
    // Tab goes list, each row's disconnect button, Back, Select.
    const int count = ui->listWidget_VCI->count();
    QWidget* previous = count > 1 ? row(count - 2)->findChild<QPushButton*>(QStringLiteral("Btn_VCIDisconnect"))
                                  : static_cast<QWidget*>(ui->listWidget_VCI);
    if (auto* disconnect = widget->findChild<QPushButton*>(QStringLiteral("Btn_VCIDisconnect"))) {
        if (previous)
            setTabOrder(previous, disconnect);
        setTabOrder(disconnect, ui->Btn_MoreVciBack);
    }
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
}

void MoreVciPage::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        ui->listWidget_VCI->setAccessibleName(ui->label_MoreVciTitle->text());
    }
    QWidget::changeEvent(event);
}
