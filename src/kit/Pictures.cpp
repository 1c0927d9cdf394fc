#include "kit/Pictures.h"

#include <QFileInfo>
#include <QImageReader>

QPixmap loadPicture(const QString& fileName)
{
    QImageReader reader(fileName, QFileInfo(fileName).suffix().toLower().toLatin1());
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    if (!image.isNull())
        return QPixmap::fromImage(image);
    // An unusual file: let Qt find its format after all.
    return QPixmap(fileName);
}
