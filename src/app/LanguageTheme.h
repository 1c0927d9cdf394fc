// Style sheet and translation catalogue of a language, both embedded resources.
#pragma once

#include <QString>

class QLabel;
class QTranslator;

namespace LanguageTheme {

QString styleSheetResource(const QString& language);  // ":/ThemesKestrix_en.qss"
QString translationResource(const QString& language); // ":/Translation_en.qm"

// Installs the style sheet when the resource exists (text up to the first NUL,
// read as Latin-1); a missing resource leaves the current style sheet.
bool applyStyleSheet(const QString& resource);

// Removes and deletes `previous`, then loads `resource` into a new translator
// and installs it. Returns the installed translator, or nullptr when loading
// failed (the application then shows the untranslated texts).
QTranslator* replaceTranslator(QTranslator* previous, const QString& resource);

// The window's internet label: "Online" in green or "None" in red (the
// window's catalogue), the palette following when the text changes.
void showInternetState(QLabel* label, bool online);

} // namespace LanguageTheme
