// One progress report of a firmware update, delivered to the page on the GUI
// thread. State codes per image: in progress, failed, done.
#pragma once

#include <QMetaType>
#include <QString>

struct SignalsUpgradeInfo_struct {
    int state = 0;
    int progress = 0; // 0 to 100
    QString text;
};
Q_DECLARE_METATYPE(SignalsUpgradeInfo_struct)

namespace upgrade_state {
constexpr int kSystemRunning = 1, kSystemFailed = 2, kSystemDone = 3;
constexpr int kAppRunning = 4, kAppFailed = 5, kAppDone = 6;
constexpr int kCanRunning = 7, kCanFailed = 8, kCanDone = 9;
// Page-only reports: 10 ends a run (the adapter's serial is reported to the
// account service), 11 starts one.
constexpr int kRunEnded = 10, kRunStarted = 11;
} // namespace upgrade_state
