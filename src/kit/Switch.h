// The animated on/off switch of the settings page: a rounded track and a
// round thumb that slides to the left (off) or right (on) rest position.
#pragma once

#include <QColor>
#include <QWidget>

class QPropertyAnimation;

class Switch : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor onTrackColor READ onTrackColor WRITE setOnTrackColor)
    Q_PROPERTY(QColor offTrackColor READ offTrackColor WRITE setOffTrackColor)
    Q_PROPERTY(QColor thumbColor READ thumbColor WRITE setThumbColor)
    Q_PROPERTY(double thumbPosition READ thumbPosition WRITE setThumbPosition)
    Q_PROPERTY(bool state READ state WRITE setState NOTIFY stateChanged)

public:
    explicit Switch(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    QColor onTrackColor() const { return m_onTrackColor; }
    void setOnTrackColor(const QColor& color);
    QColor offTrackColor() const { return m_offTrackColor; }
    void setOffTrackColor(const QColor& color);
    QColor thumbColor() const { return m_thumbColor; }
    void setThumbColor(const QColor& color);

    double thumbPosition() const { return m_thumbPosition; }
    void setThumbPosition(double position);

    bool state() const { return m_state; }
    // Sets the state without animation and without emitting stateChanged:
    // the thumb jumps to the state's rest position.
    void setState(bool state);

    // Centre x of the thumb at rest for a state at the current width.
    double restPosition(bool state) const;
    QPropertyAnimation* animation() const { return m_animation; }

signals:
    void stateChanged(bool state);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QColor m_onTrackColor;
    QColor m_offTrackColor;
    QColor m_thumbColor;
    double m_thumbPosition = 0.0;
    bool m_state = false;
    double m_thumbRadius = 13.0;
    double m_trackHeight = 28.0;
    QPropertyAnimation* m_animation;
};
