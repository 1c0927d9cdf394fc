// One vehicle make tile of the diagnosis page: the make's picture, its
// translated name, a pointing-hand cursor and a white background. A press
// (or Enter / Space while focused) is handled by the diagnosis controller,
// which watches the tiles through its event filter.
#pragma once

#include <QWidget>

class QLabel;

class QDiagCarModel : public QWidget {
    Q_OBJECT
public:
    QDiagCarModel(const QString& make, QWidget* parent = nullptr);

    const QString& make() const { return m_make; }
    // The make's name in the interface language (the folder name when the
    // catalogue has none).
    static QString displayName(const QString& make);
    // Picture and name again, after a language change.
    void retranslate();

private:
    QString m_make;
    QLabel* m_picture;
    QLabel* m_name;
};
