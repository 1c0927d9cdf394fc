#include "diagnosis/QDiagCarModel.h"

#include "kit/Accessibility.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

constexpr int kTileWidth = 150;
constexpr int kTileHeight = 130;
constexpr int kPictureSize = 72;

// The make names the catalogue translates, by make folder; other folders
// show their own name.
struct MakeName {
    const char* folder;
    const char* name;
};
const MakeName kMakeNames[] = {
    {"Bmw", QT_TRANSLATE_NOOP("QDiagCarModel", "BMW")},
};

} // namespace

QDiagCarModel::QDiagCarModel(const QString& make, QWidget* parent)
    : QWidget(parent)
    , m_make(make)
    , m_picture(new QLabel(this))
    , m_name(new QLabel(this))
{
    setFixedSize(kTileWidth, kTileHeight);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("background-color:rgb(255,255,255)"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setFixedHeight(kPictureSize + 4);
    m_name->setAlignment(Qt::AlignCenter);
    m_name->setObjectName(QStringLiteral("label_MakeName"));
    layout->addWidget(m_picture);
    layout->addWidget(m_name);
    retranslate();
}

QString QDiagCarModel::displayName(const QString& make)
{
    for (const MakeName& known : kMakeNames) {
        if (make == QLatin1String(known.folder))
            return QCoreApplication::translate("QDiagCarModel", known.name);
    }
    return make;
}

void QDiagCarModel::retranslate()
{
    const QPixmap picture(QStringLiteral(":/image/Kestrix/") + m_make + QStringLiteral(".png"));
    if (picture.isNull())
        m_picture->setText(m_make.left(1));
    else
        m_picture->setPixmap(picture.scaled(kPictureSize, kPictureSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_name->setText(displayName(m_make));
    Accessibility::describe(this, displayName(m_make),
        QCoreApplication::translate("QDiagCarModel", "Starts the diagnosis of this vehicle make"));
}
