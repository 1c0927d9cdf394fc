// Paint cost of the component's live-data plot with a full minute of samples
// (600 at 10 Hz), for a value that holds nearly still and for one that swings
// over the whole range every few samples (the costly case for the line), at
// the size the live page gives it on a 1024 x 768 window and at 1920 wide.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_diagnosis_plot [--paints N]
#include "Plot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int paints = 50;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--paints")
            paints = std::max(1, QByteArray(argv[++i]).toInt());

    const struct {
        const char* name;
        double (*value)(int);
    } shapes[] = {{"steady (idle rpm +- 5)", [](int i) { return 800.0 + 5.0 * std::sin(i * 0.05); }},
        {"swinging (+- 30 every 2 s)", [](int i) { return 800.0 + 30.0 * std::sin(i * 0.3) + (i % 7); }}};
    const QSize sizes[] = {{560, 420}, {1400, 700}};
    std::printf("live plot, 600 samples (60 s at 10 Hz), %d paints each\n", paints);
    for (const auto& shape : shapes) {
        for (const QSize& size : sizes) {
            Plot plot;
            plot.resize(size);
            for (int i = 0; i < 600; ++i)
                plot.addSample(i * 100, shape.value(i));
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            std::vector<double> ms;
            for (int i = 0; i < paints; ++i) {
                QElapsedTimer t;
                t.start();
                plot.render(&image);
                ms.push_back(t.nsecsElapsed() / 1e6);
            }
            std::sort(ms.begin(), ms.end());
            std::printf("  %-28s %4d x %-4d p50 %6.2f ms, max %6.2f ms\n", shape.name, size.width(), size.height(),
                ms[ms.size() / 2], ms.back());
        }
    }
    return 0;
}
