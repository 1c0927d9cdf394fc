// The two rows of one driver on the drivers page. The header row: logo, name,
// installed and newest version, the status control ("Install", "Update",
// "Installed", "Disabled"), a progress bar while downloading or working, and
// an arrow that opens the detail row. The detail row: version and size, the
// server's date and notes, "Enable"/"Disable" and "Uninstall".
#pragma once

#include "drivers/DriverCatalogue.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace driverstyle {
// The row colours: index 0..7 of the page's colour table.
QString labelColour(int index);
QString buttonRgb(int index);
enum class Look { Light, Outlined, Filled };
// A button style from one of the three templates.
QString button(Look look, int colour, int radius = 4, const QString& padding = QStringLiteral("0px 10px"),
    int minWidth = 72, int height = 28);
// The link button "Install Local Driver".
QString link(const QString& padding, const QString& rgb);
QString progressBar();
} // namespace driverstyle

class DriverItem : public QWidget {
    Q_OBJECT
public:
    explicit DriverItem(QWidget* parent = nullptr);

    void show(const VehicleDriver& driver);
    // Download progress; total <= 0 shows a bar that only says it is busy.
    void showProgress(qint64 received, qint64 total);
    void showWorking();
    void hideProgress();
    void setActionsEnabled(bool enabled);

    QLabel* logo() const { return m_logo; }
    QPushButton* actionButton() const { return m_action; }
    QLabel* statusLabel() const { return m_status; }
    QProgressBar* progressBar() const { return m_progress; }
    QToolButton* arrow() const { return m_arrow; }
    QString title() const;
    QString subtitle() const;

signals:
    void actionClicked();
    void arrowToggled(bool open);

private:
    QLabel* m_logo;
    QLabel* m_title;
    QLabel* m_subtitle;
    QPushButton* m_action;
    QLabel* m_status;
    QProgressBar* m_progress;
    QToolButton* m_arrow;
    bool m_busy = false;
};

class DriverDetail : public QWidget {
    Q_OBJECT
public:
    explicit DriverDetail(QWidget* parent = nullptr);

    void show(const VehicleDriver& driver);
    void setActionsEnabled(bool enabled);

    QPushButton* enableButton() const { return m_enable; }
    QPushButton* uninstallButton() const { return m_uninstall; }
    QString versionText() const;

signals:
    void enableClicked(bool enable);
    void uninstallClicked();

private:
    QLabel* m_version;
    QLabel* m_date;
    QLabel* m_summary;
    QPushButton* m_enable;
    QPushButton* m_uninstall;
    bool m_enabled = true;
};
