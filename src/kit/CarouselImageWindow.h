// The advertising carousel of the device page: pictures that change every
// 5 seconds with a fade, one indicator button per picture, and a click on the
// picture that opens the maker's product page.
#pragma once

#include <QList>
#include <QPixmap>
#include <QTimer>
#include <QUrl>
#include <QWidget>

class QButtonGroup;
class QHBoxLayout;
class QTimeLine;

class CarouselImageWindow : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double ImageOpacity READ imageOpacity WRITE setImageOpacity)

public:
    explicit CarouselImageWindow(QWidget* parent = nullptr);

    // Replaces the pictures, shows the first one and restarts the period.
    void setImages(const QList<QPixmap>& images);
    void addImage(const QPixmap& image);
    int imageCount() const { return m_images.size(); }
    int currentIndex() const { return m_current; }

    // Opened by a click on the picture; an empty address disables it.
    void setProductPage(const QUrl& url) { m_productPage = url; }
    QUrl productPage() const { return m_productPage; }

    double imageOpacity() const { return m_imageOpacity; }
    void setImageOpacity(double opacity);

    QButtonGroup* indicatorGroup() const { return m_indicators; }
    QTimer* switchTimer() { return &m_switchTimer; }

    static constexpr int kSwitchIntervalMs = 5000;
    static constexpr int kFadeMs = 1500;

signals:
    void imageClicked(int index);

public slots:
    void onImageChangeTimeout();
    void onImageSwitchButtonClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    void changeEvent(QEvent* event) override;

private:
    void rebuildIndicators();
    // The indicators show no text: their names say which picture they show.
    void nameIndicators();
    void showImage(int index);
    void ensureScaled(qreal ratio);
    QPixmap flattened(const QPixmap& picture) const; // laid on the window colour and the background

    QList<QPixmap> m_images;
    QList<QPixmap> m_scaledImages; // m_images at m_scaledSize (device pixels), on the background (opaque)
    QPixmap m_scaledBackground;
    QSize m_scaledSize;
    int m_current = -1;
    int m_previous = -1;
    double m_imageOpacity = 0.0;
    QPixmap m_background;
    QUrl m_productPage;
    QButtonGroup* m_indicators;
    QHBoxLayout* m_indicatorRow;
    QTimeLine* m_fade; // drives ImageOpacity from 1.0 to 0.0, one tick per painted step
    QTimer m_switchTimer;
};
