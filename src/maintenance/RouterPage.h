// The router page: the router the adapter is joined to, the access points it
// sees (one RouterItem each), and the adapter's own Wi-Fi name and password
// with modify, reset and save. Shows what it is given; RouterController decides.
#pragma once

#include <QWidget>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class RouterItem;

class RouterPage : public QWidget {
    Q_OBJECT
public:
    explicit RouterPage(QWidget* parent = nullptr);

    // Replaces the rows; the row named `joined` carries the joined mark.
    void showAccessPoints(const std::vector<std::string>& names, const std::string& joined);
    void showCurrentRouter(const std::string& name);
    // While a command runs an empty list says so instead of inviting a scan.
    void setScanning(bool scanning);
    // The adapter's own Wi-Fi; the fields are left alone while being edited.
    void showWifiSettings(const QString& name, const QString& password);
    void setEditing(bool editing);
    bool editing() const;

    // Row marks (router commands 25, 32, 33, 34 and 35).
    void clearMarks();
    void markJoined(const std::string& name);
    int rowCount() const;
    RouterItem* row(int index) const;

    QPushButton* refreshButton() const { return m_refresh; }
    QPushButton* modifyButton() const { return m_modify; }
    QPushButton* resetButton() const { return m_reset; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* backButton() const { return m_back; }
    QLineEdit* nameField() const { return m_name; }
    QLineEdit* passwordField() const { return m_password; }
    QString currentRouterText() const;

signals:
    void rowCreated(RouterItem* item);

protected:
    void changeEvent(QEvent* event) override;

private:
    void retranslate();
    void showEmptyText();

    bool m_scanning = false;
    QLabel* m_heading = nullptr;
    QLabel* m_currentCaption = nullptr;
    QLabel* m_current = nullptr;
    QLabel* m_empty = nullptr;
    QListWidget* m_list = nullptr;
    QLabel* m_wifiHeading = nullptr;
    QLabel* m_nameCaption = nullptr;
    QLabel* m_passwordCaption = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_refresh = nullptr;
    QPushButton* m_modify = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_back = nullptr;
};
