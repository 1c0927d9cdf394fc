#include "app/LanguageTheme.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QLabel>
#include <QPalette>
#include <QTranslator>

namespace LanguageTheme {

QString styleSheetResource(const QString& language)
{
    return QStringLiteral(":/ThemesKestrix_%1.qss").arg(language);
}

QString translationResource(const QString& language)
{
    return QStringLiteral(":/Translation_%1.qm").arg(language);
}

bool applyStyleSheet(const QString& resource)
{
    QFile file(resource);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    qApp->setStyleSheet(QString::fromLatin1(bytes));
    return true;
}

QTranslator* replaceTranslator(QTranslator* previous, const QString& resource)
{
    if (previous) {
        QCoreApplication::removeTranslator(previous);
        delete previous;
    }
    auto* translator = new QTranslator;
    if (!translator->load(resource)) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

} // namespace LanguageTheme

void LanguageTheme::showInternetState(QLabel* label, bool online)
{
    const QString text
        = online ? QCoreApplication::translate("Kestrix", "Online") : QCoreApplication::translate("Kestrix", "none");
    const QColor colour = online ? QColor(52, 199, 89) : QColor(255, 0, 0);
    if (label->text() != text) {
        label->setText(text);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
    label->setStyleSheet(
        online ? QStringLiteral("color: rgb(52, 199, 89);") : QStringLiteral("color: rgb(255, 0, 0);"));
}
