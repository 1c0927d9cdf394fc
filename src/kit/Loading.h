// The busy overlay: an animated picture and "Executing...". Created hidden by
// the main window and shown while a long operation runs.
#pragma once

#include <QWidget>

class QLabel;
class QMovie;

namespace Ui {
class Form;
}

class Loading : public QWidget {
    Q_OBJECT
public:
    explicit Loading(QWidget* parent = nullptr);
    ~Loading() override;

    QLabel* movieLabel() const;
    QLabel* tipsLabel() const;

    // Plays the animation from the given file (":/image/loading.gif") with
    // scaled contents. Returns false and leaves the label as it was when the
    // file is not a valid animation.
    bool setMovieFile(const QString& fileName);
    QMovie* movie() const;

protected:
    void changeEvent(QEvent* event) override;
    // The animation runs only while the overlay is visible: a hidden overlay
    // costs no CPU.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    Ui::Form* ui;
    QMovie* m_movie = nullptr;
};
