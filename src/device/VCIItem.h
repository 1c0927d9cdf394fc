// One row of the device list: picture, serial, selection mark and a red
// disconnect button that is visible only on the row in use.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

class VCIItem : public QWidget {
    Q_OBJECT
public:
    VCIItem(int itemNum, const QString& serial, QWidget* parent = nullptr);

    int itemNum() const { return m_itemNum; }
    QString serial() const;
    // The row in use: check mark and its disconnect button shown.
    bool isConnected() const;
    // Check mark + disconnect button, or cancel mark without it.
    void setConnected(bool connected);
    // The "clicked, not yet selected" mark.
    void setClickedMark();
    QString markStyle() const;

    static const char* const kCheckStyle;
    static const char* const kCancelStyle;
    static const char* const kClickedStyle;

signals:
    void break_connect(int itemNum);

private:
    int m_itemNum;
    QLabel* m_picture;
    QLabel* m_name;
    QLabel* m_mark;
    QPushButton* m_disconnect;
};
