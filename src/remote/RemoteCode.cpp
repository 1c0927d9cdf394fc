#include "remote/RemoteCode.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSettings>

namespace remote {

QString temporaryCode()
{
    QString code;
    code.reserve(6);
    QRandomGenerator* source = QRandomGenerator::system();
    for (int i = 0; i < 6; ++i) {
        int digit = static_cast<int>(source->bounded(10u));
        if (i == 0 && digit == 0)
            digit = 1;
        code.append(QChar(QLatin1Char(static_cast<char>('0' + digit))));
    }
    return code;
}

bool isTemporaryCodeShape(const QString& code)
{
    if (code.size() != 6 || code.at(0) == QLatin1Char('0'))
        return false;
    for (const QChar c : code) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

namespace {

bool allDigits(const QString& text)
{
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool serialCharacters(const QString& text)
{
    for (const QChar c : text) {
        const bool ok = (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

QString checkSerial(const QString& sn)
{
    if (sn.isEmpty())
        return QStringLiteral(QT_TRANSLATE_NOOP("Remote", "Please enter SN"));
    if (sn.size() != 16 || !serialCharacters(sn))
        return QStringLiteral(QT_TRANSLATE_NOOP("Remote", "The format of the serial number is incorrect!"));
    return QString();
}

QString checkCode(const QString& code)
{
    if (code.size() != 6 || !allDigits(code))
        return QStringLiteral(QT_TRANSLATE_NOOP("Remote", "The format of the verification code is incorrect!"));
    return QString();
}

QString checkPort(const QString& portText)
{
    return portNumber(portText) == 0 ? QStringLiteral(QT_TRANSLATE_NOOP("Remote", "Ports between 5000 and 65535"))
                                     : QString();
}

int portNumber(const QString& portText)
{
    if (portText.isEmpty() || portText.size() > 5 || !allDigits(portText))
        return 0;
    const int port = portText.toInt();
    return port >= 5000 && port <= 65535 ? port : 0;
}

CodeFile::CodeFile(QString path)
    : m_path(std::move(path))
{
}

QString CodeFile::read(const QString& sn) const
{
    if (sn.isEmpty())
        return QString();
    QSettings file(m_path, QSettings::IniFormat);
    const QString code = file.value(sn + QStringLiteral("/longTimeCode")).toString();
    return code.size() == 6 && allDigits(code) ? code : QString();
}

bool CodeFile::write(const QString& sn, const QString& code) const
{
    if (sn.isEmpty() || code.size() != 6 || !allDigits(code) || sn.contains(QLatin1Char('/'))
        || sn.contains(QLatin1Char('\\')))
        return false;
    QSettings file(m_path, QSettings::IniFormat);
    file.setValue(sn + QStringLiteral("/longTimeCode"), code);
    file.sync();
    return file.status() == QSettings::NoError;
}

QString persistentCodeFor(const QString& fieldText)
{
    return checkCode(fieldText).isEmpty() ? fieldText : temporaryCode();
}

} // namespace remote
