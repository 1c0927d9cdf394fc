// The router password dialog of the join: a password field that takes only
// the characters a router password may hold, "Confirm" and "Cancel".
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class CWifiPasswordInput : public QDialog {
    Q_OBJECT
public:
    explicit CWifiPasswordInput(const QString& routerName, QWidget* parent = nullptr);

    QLineEdit* passwordField() const { return m_password; }
    QPushButton* confirmButton() const { return m_confirm; }
    QPushButton* cancelButton() const { return m_cancel; }

signals:
    // "Confirm" was pressed with this text.
    void passwordEntered(QString password);

private:
    QLabel* m_title = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_confirm = nullptr;
    QPushButton* m_cancel = nullptr;
};
