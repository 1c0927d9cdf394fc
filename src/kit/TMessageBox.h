// The toast: a small grey frameless window that hides itself when its timer
// fires. The main window owns one and shows it with a text and an interval.
#pragma once

#include <QMainWindow>
#include <QTimer>

class QLabel;

namespace Ui {
class TMessageBoxClass;
}

class TMessageBox : public QMainWindow {
    Q_OBJECT
public:
    explicit TMessageBox(QWidget* parent = nullptr);
    ~TMessageBox() override;

    QLabel* textLabel() const;
    // The close timer. It runs continuously; setting a new interval restarts
    // it, so the toast hides that many milliseconds after it was shown.
    QTimer* closeTimer();

    void setText(const QString& text);
    void setInterval(int milliseconds);
    // Shows `text` for `ms` milliseconds, centred over `frame` (global geometry).
    void showCentred(const QString& text, int ms, const QRect& frame);

public slots:
    void On_Close();

private:
    Ui::TMessageBoxClass* ui;
    QTimer m_closeTimer; // no parent: owned by value
};
