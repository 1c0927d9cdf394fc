// "Config Select": the CAN and CAN FD rates of the two buses a device-control
// session bridges (pins 6/14 and 3/11). Thin: the values live in RemotePro.h.
#pragma once

#include "remote/RemotePro.h"

#include <QDialog>

class QComboBox;

class RemoteProConfig : public QDialog {
    Q_OBJECT
public:
    explicit RemoteProConfig(QWidget* parent = nullptr);

    // The four combos' values (an index outside a list gives its default).
    remote::RemoteProRates rates() const;

    QComboBox* comboCan1;
    QComboBox* comboCanFd1;
    QComboBox* comboCan2;
    QComboBox* comboCanFd2;
};
