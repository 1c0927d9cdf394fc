// render-pictures <output folder> <size> <drawing.svg>...
//
// Renders each SVG drawing into a square PNG of <size> pixels, written as
// <name>.png and <name>_en.png (the driver table names a picture per
// language; the badges carry no language-specific text). Exit code 0 when
// every picture was written, 1 when a drawing cannot be read or a picture
// cannot be written, 2 for wrong arguments.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

#include <cstdio>

namespace {

int fail(const QString& text, int code)
{
    std::fprintf(stderr, "render-pictures: %s\n", qPrintable(text));
    return code;
}

bool writePng(const QImage& image, const QString& path)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
}

} // namespace

int main(int argc, char** argv)
{
    // Fonts need a GUI application; a build has no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4)
        return fail(QStringLiteral("usage: render-pictures <output folder> <size> <drawing.svg>..."), 2);
    bool ok = false;
    const int size = args.at(2).toInt(&ok);
    if (!ok || size < 1 || size > 4096)
        return fail(QStringLiteral("the size must be 1 to 4096 pixels, not \"%1\"").arg(args.at(2)), 2);
    const QString folder = args.at(1);
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("cannot create %1").arg(folder), 1);

    for (const QString& drawing : args.mid(3)) {
        QSvgRenderer renderer(drawing);
        if (!renderer.isValid())
            return fail(QStringLiteral("%1 is not a readable SVG drawing").arg(drawing), 1);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
        renderer.render(&painter);
        painter.end();
        const QString name = QFileInfo(drawing).completeBaseName();
        for (const QString& suffix : {QString(), QStringLiteral("_en")}) {
            const QString path = folder + QLatin1Char('/') + name + suffix + QStringLiteral(".png");
            if (!writePng(image, path))
                return fail(QStringLiteral("cannot write %1").arg(path), 1);
        }
    }
    return 0;
}
