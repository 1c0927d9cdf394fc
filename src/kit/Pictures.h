// Reads a picture of one of Qt's built-in formats (PNG, BMP, ...) by its file
// suffix alone. Qt's automatic format detection asks every image-format plugin
// whether it can read the file, which loads all of them (and libtiff, libwebp,
// libmng, ...) on the first picture; on the start-up path that costs tens of
// milliseconds before the window can appear.
#pragma once

#include <QPixmap>
#include <QString>

QPixmap loadPicture(const QString& fileName);
