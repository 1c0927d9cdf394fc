// A question dialog with a title, a message and up to two buttons.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class AlertDialog : public QDialog {
    Q_OBJECT
public:
    // Button looks selected by the style numbers of ask().
    enum ButtonStyle { StylePrimary = 0, StyleSecondary = 1, StyleDanger = 2 };

    explicit AlertDialog(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setText(const QString& text);
    // An empty cancel text hides the cancel button and widens the confirm
    // button to 160 pixels.
    void setButtons(const QString& confirmText, int confirmStyle, const QString& cancelText, int cancelStyle);

    // Runs the dialog modally: 1 for confirm, 0 for cancel or close.
    static int ask(QWidget* parent, const QString& title, const QString& text, const QString& confirmText,
        int confirmStyle, const QString& cancelText, int cancelStyle);

    static QString buttonStyleSheet(int style);

private:
    QLabel* m_title;
    QLabel* m_text;
    QPushButton* m_confirm;
    QPushButton* m_cancel;
};
