#include "kit/MessageYesNo.h"

#include "kit/Accessibility.h"
#include "kit/DialogSeam.h"
#include "ui_MessageYesNo.h"

#include <QMouseEvent>

MessageYesNo::MessageYesNo(QString text, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::MessageYesNoClass)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    ui->label_MesSesTxt->setText(text);
    connect(ui->pushButton_Yes, &QPushButton::clicked, this, &MessageYesNo::ClickButtonYes);
    connect(ui->pushButton_No, &QPushButton::clicked, this, &MessageYesNo::ClickButtonNo);
    // Enter confirms and Escape cancels through the buttons, so `answer` and
    // SignalClick follow the keys too; the focus frame stays visible.
    Accessibility::setDialogKeys(this, ui->pushButton_Yes, ui->pushButton_No);
    Accessibility::keepFocusFrame(ui->pushButton_Yes);
    Accessibility::keepFocusFrame(ui->pushButton_No);
    setTabOrder(ui->pushButton_No, ui->pushButton_Yes);
    ui->pushButton_Yes->setFocus();
    ui->label_Icon->setAccessibleName(tr("Warning"));
}

MessageYesNo::~MessageYesNo()
{
    delete ui;
}

int MessageYesNo::exec()
{
    if (DialogSeam::active()) {
        answer = DialogSeam::answer(
                     {DialogSeam::Kind::YesNo, QString(), ui->label_MesSesTxt->text(), QString(), QString()})
            == 1;
        emit SignalClick(answer);
        return answer ? QDialog::Accepted : QDialog::Rejected;
    }
    return QDialog::exec();
}

void MessageYesNo::ClickButtonYes()
{
    emit SignalClick(true);
    answer = true;
    close();
}

void MessageYesNo::ClickButtonNo()
{
    emit SignalClick(false);
    answer = false;
    close();
}

void MessageYesNo::mousePressEvent(QMouseEvent* event)
{
    if (event->buttons() == Qt::LeftButton) {
        dragging = true;
        dragOffset = event->globalPos() - pos();
    }
    QDialog::mousePressEvent(event);
}

void MessageYesNo::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging && event->buttons() != Qt::NoButton && event->pos().y() < kDragStripHeight)
        move(event->globalPos() - dragOffset);
    QDialog::mouseMoveEvent(event);
}

void MessageYesNo::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    QDialog::mouseReleaseEvent(event);
}
