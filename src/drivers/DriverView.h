// The vehicle-drivers page (page 22): one list with a section header
// ("Available" with the "Install Local Driver" link, or "Local Driver" with
// the reason and "Retry" when the server's list could not be had) and two
// rows per driver. It shows what it is given and reports clicks; the
// drivers controller decides and does the work.
#pragma once

#include "drivers/DriverCatalogue.h"

#include <QHash>
#include <QList>
#include <QWidget>

class DriverDetail;
class DriverItem;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

class DriverView : public QWidget {
    Q_OBJECT
public:
    explicit DriverView(QWidget* parent = nullptr);

    // Every driver of the map under "Available", with the server's versions.
    void showDrivers(const DriverMap& map);
    // The installed drivers only, under "Local Driver", with why the server's
    // list is missing and "Retry".
    void showLocalData(const QList<VehicleDriver>& installed, const QString& text);
    // No rows at all (an adapter model without vehicle drivers).
    void showEmpty();

    // One driver's rows again (after an operation).
    void updateDriver(const VehicleDriver& driver);
    void showProgress(const QString& key, qint64 received, qint64 total);
    void showWorking(const QString& key);
    void hideProgress(const QString& key);
    // Off while the adapter's firmware is being updated.
    void setOperationsEnabled(bool enabled);

    QListWidget* list() const { return m_list; }
    DriverItem* item(const QString& key) const;
    DriverDetail* detail(const QString& key) const;
    QPushButton* localInstallButton() const { return m_localInstall; }
    QPushButton* retryButton() const { return m_retry; }
    QString sectionTitle() const;
    QString sectionText() const;
    int driverCount() const { return m_rows.size(); }

signals:
    void installRequested(const QString& key); // "Install" or "Update"
    void uninstallRequested(const QString& key);
    void enableRequested(const QString& key, bool enable);
    void localInstallRequested();
    void retryRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Rows {
        QListWidgetItem* headerItem = nullptr;
        QListWidgetItem* detailItem = nullptr;
        DriverItem* header = nullptr;
        DriverDetail* detail = nullptr;
        VehicleDriver driver;
    };
    enum class Mode { Empty, Available, Local };
    void rebuild(const QList<VehicleDriver>& drivers);
    void addSection();
    void addDriver(const VehicleDriver& driver);
    void retranslateSection();

    QListWidget* m_list;
    QWidget* m_section = nullptr;
    QLabel* m_sectionTitle = nullptr;
    QLabel* m_sectionText = nullptr;
    QPushButton* m_localInstall = nullptr;
    QPushButton* m_retry = nullptr;
    QHash<QString, Rows> m_rows;
    Mode m_mode = Mode::Empty;
    QString m_localText;
    bool m_operationsEnabled = true;
};
