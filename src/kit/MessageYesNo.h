// A frameless yes/no question that can be dragged by its top strip.
#pragma once

#include <QDialog>
#include <QPoint>

namespace Ui {
class MessageYesNoClass;
}

class MessageYesNo : public QDialog {
    Q_OBJECT
public:
    explicit MessageYesNo(QString text, QWidget* parent = nullptr);
    ~MessageYesNo() override;

    // The user's answer after a modal run: true for "Confirm".
    bool answer = false;

    // Modal run; answered by the dialog seam without showing when one is installed.
    int exec() override;

signals:
    void SignalClick(bool yes);

public slots:
    void ClickButtonYes();
    void ClickButtonNo();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    // Presses in the top strip above this height move the dialog.
    static constexpr int kDragStripHeight = 45;

    bool dragging = false;
    QPoint dragOffset;

private:
    Ui::MessageYesNoClass* ui;
};
