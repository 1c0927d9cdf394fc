// The yardstick of the start-up benchmark: a bare Qt window of the manager's
// size with the same high-DPI settings and nothing else.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "1");
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("hello"));
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.setFixedSize(902, 652);
    window.show();
    return app.exec();
}
