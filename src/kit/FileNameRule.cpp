#include "kit/FileNameRule.h"

#include <QChar>
#include <QStringList>

namespace filename {

CharKind classify(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029)
        return CharKind::Control;
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF || (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
        return CharKind::Control;
    // Bidi controls are format characters too; listed so that the rule does
    // not depend on the Unicode version Qt carries.
    if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F || c == 0x061C)
        return CharKind::Invisible;
    // Zero-width space and joiners, word joiner and invisible operators, BOM.
    if ((c >= 0x200B && c <= 0x200D) || (c >= 0x2060 && c <= 0x2064) || c == 0xFEFF)
        return CharKind::Invisible;
    // Invisible letters and marks: combining grapheme joiner, Hangul fillers,
    // Khmer inherent vowels, Mongolian vowel separator and variation selectors
    // of Mongolian.
    if (c == 0x034F || c == 0x115F || c == 0x1160 || c == 0x3164 || c == 0xFFA0 || c == 0x17B4 || c == 0x17B5
        || (c >= 0x180B && c <= 0x180E))
        return CharKind::Invisible;
    if (QChar::category(static_cast<uint>(c)) == QChar::Other_Format)
        return CharKind::Invisible;
    return CharKind::Plain;
}

int firstNonPlain(const QString& name)
{
    for (int i = 0; i < name.size(); ++i) {
        char32_t c = name.at(i).unicode();
        const int at = i;
        if (name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        if (classify(c) != CharKind::Plain)
            return at;
    }
    return -1;
}

bool reservedOnWindows(const QString& part)
{
    static const QStringList names = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
        QStringLiteral("NUL"), QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
    const QString stem = part.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    if (names.contains(stem))
        return true;
    if (stem.size() != 4 || !(stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT"))))
        return false;
    // Windows counts the superscript digits 1, 2 and 3 as digits here.
    const char16_t digit = stem.at(3).unicode();
    return (digit >= u'0' && digit <= u'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}

} // namespace filename
