// The yardstick of the start-up benchmark: a bare Qt window of the manager's
// size with the same high-DPI settings and nothing else. BW_BARE_RASTER=1
// makes it raster only as the manager is (no OpenGL probe on X11): the
// stricter yardstick.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "1");
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    if (qEnvironmentVariableIntValue("BW_BARE_RASTER") == 1)
        QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets, true);
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("hello"));
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.setFixedSize(902, 652);
    window.show();
    return app.exec();
}
