// The firmware page: per image the version the adapter reports, the latest
// the server offers, the publish date, a result line and a progress bar; the
// update-all and back buttons. Shows what it is given; the controller decides.
#pragma once

#include "maintenance/FirmwareUpdate.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

class FirmwarePage : public QWidget {
    Q_OBJECT
public:
    explicit FirmwarePage(QWidget* parent = nullptr);

    // The result of a version query (GUI thread).
    void showVersions(const FirmwareUpdate& update);
    // The query is running: nothing is known yet.
    void showQuerying();
    // One report of a running update.
    void showReport(const SignalsUpgradeInfo_struct& report);
    // Progress bars of the images about to be updated, at 0.
    void startRun(const FirmwareUpdate& update);
    void setButtonsEnabled(bool enabled);
    void hideProgress();

    QPushButton* updateAllButton() const { return m_updateAll; }
    QPushButton* backButton() const { return m_back; }
    QString resultText(firmware::Image which) const;
    QString currentText(firmware::Image which) const;
    bool progressShown(firmware::Image which) const;
    int progressValue(firmware::Image which) const;

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Row {
        QLabel* title = nullptr;
        QLabel* current = nullptr;
        QLabel* latest = nullptr;
        QLabel* date = nullptr;
        QLabel* result = nullptr;
        QProgressBar* bar = nullptr;
        QString latestVersion; // as shown; the adapter's once the image is written
    };
    void retranslate();
    static void setResult(QLabel* label, const QString& text, const char* colour);

    Row m_rows[3];
    QLabel* m_heading = nullptr;
    QLabel* m_none = nullptr;
    QPushButton* m_updateAll = nullptr;
    QPushButton* m_back = nullptr;
};
