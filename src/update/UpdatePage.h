// Page 9 (page_Detection_Update): the running version, the newest release the
// server named with its notes, and the update button Btn_Detection_Update.
#pragma once

#include "update/AppVersion.h"

#include <QWidget>

class QLabel;
class QPushButton;

class UpdatePage : public QWidget {
    Q_OBJECT
public:
    enum class State { Checking, Newer, Current, NoAnswer };

    explicit UpdatePage(const QString& programVersion, QWidget* parent = nullptr);

    void showChecking();
    void showResult(const AppVersionInfo& info, bool newer);
    // The button's looks: available (blue), busy or unavailable (grey).
    void setButtonAvailable(bool available);
    QPushButton* updateButton() const { return m_button; }
    State state() const { return m_state; }

    static QString availableStyle();
    static QString busyStyle();

protected:
    void changeEvent(QEvent* event) override;

private:
    void retranslate();

    QString m_programVersion;
    State m_state = State::Checking;
    AppVersionInfo m_info;
    QPushButton* m_back = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_current = nullptr;
    QLabel* m_latest = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_button = nullptr;
};
