// One row of the router list: Wi-Fi icon, the access point's name, the
// joined mark and a "Connect" button that asks for the password and sends
// the join as router command 1.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

class RouterItem : public QWidget {
    Q_OBJECT
public:
    RouterItem(int index, const QString& name, QWidget* parent = nullptr);

    int index() const { return m_index; }
    QString name() const { return m_name; }
    void setJoined(bool joined);
    bool joined() const { return m_joined; }
    QPushButton* connectButton() const { return m_connect; }
    void retranslate();

signals:
    void signalSendRouteCmd(int cmd, int itemindex, QString Str1, QString Str2);
    void signalSendRouteTip(QString Text, int Timer);

public slots:
    // Opens the password dialog.
    void slotShowWidget();
    // The "Connect" button comes back 500 ms after a press.
    void on_Timer();
    // The dialog's password: the join of this row's access point.
    void InputPass(QString password);

private:
    int m_index;
    QString m_name;
    bool m_joined = false;
    QLabel* m_mark = nullptr;
    QPushButton* m_connect = nullptr;
    QTimer* m_timer = nullptr;
};
