#include "remote/RemoteProConfig.h"

#include "kit/Accessibility.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QComboBox* combo(QWidget* parent, const char* name, const char* const* items, int count, int start)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    for (int i = 0; i < count; ++i)
        box->addItem(QCoreApplication::translate("Remote", items[i]));
    box->setCurrentIndex(start);
    return box;
}

} // namespace

RemoteProConfig::RemoteProConfig(QWidget* parent)
    : QDialog(parent)
{
    using namespace remote;
    setObjectName(QStringLiteral("RemoteProConfig"));
    setWindowTitle(tr("Config Select"));
    setFixedSize(439, 216);
    setModal(true);

    auto* outer = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Pin"), this), 0, 0);
    grid->addWidget(new QLabel(tr("CAN Baudrate"), this), 0, 1);
    grid->addWidget(new QLabel(tr("CANFD Baudrate"), this), 0, 2);
    comboCan1 = combo(this, "comboCan1", kCanRateItems, kCanRateCount, kCan1StartIndex);
    comboCanFd1 = combo(this, "comboCanFd1", kCanFdRateItems, kCanFdRateCount, 0);
    comboCan2 = combo(this, "comboCan2", kCanRateItems, kCanRateCount, kCan2StartIndex);
    comboCanFd2 = combo(this, "comboCanFd2", kCanFdRateItems, kCanFdRateCount, 0);
    grid->addWidget(new QLabel(QStringLiteral("6 14"), this), 1, 0);
    grid->addWidget(comboCan1, 1, 1);
    grid->addWidget(comboCanFd1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("3 11"), this), 2, 0);
    grid->addWidget(comboCan2, 2, 1);
    grid->addWidget(comboCanFd2, 2, 2);
    // The captions are column heads, not labels of one box: a screen reader
    // hears each box's bus and pins from its own name (and description: on
    // Linux a combo box's name is its value).
    const auto name = [](QComboBox* box, const QString& text) { Accessibility::describe(box, text, text); };
    name(comboCan1, tr("CAN baud rate, pins 6 and 14"));
    name(comboCanFd1, tr("CAN FD baud rate, pins 6 and 14"));
    name(comboCan2, tr("CAN baud rate, pins 3 and 11"));
    name(comboCanFd2, tr("CAN FD baud rate, pins 3 and 11"));
    // A compact table: the captions right above their rows, the pin column
    // as narrow as its text, the combos sharing the width; the free height
    // goes below the table, not between its rows.
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    outer->addLayout(grid);
    outer->addStretch(1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    outer->addWidget(buttons);
}

remote::RemoteProRates RemoteProConfig::rates() const
{
    remote::RemoteProRates r;
    r.can1 = remote::canRateAt(comboCan1->currentIndex());
    r.canFd1 = remote::canFdRateAt(comboCanFd1->currentIndex());
    r.can2 = remote::canRateAt(comboCan2->currentIndex());
    r.canFd2 = remote::canFdRateAt(comboCanFd2->currentIndex());
    return r;
}
