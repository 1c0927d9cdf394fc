// The application's newest release as the server announces it, and the rules
// that compare it with the running program's version.
#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <string>

class CHvHttp;

struct AppVersionInfo {
    QString code;
    QString summary;
    QString name;
    QString versionNo;
    int size = 0;
    QString url;
    QString updatedDate;

    bool isEmpty() const { return versionNo.isEmpty() && url.isEmpty() && code.isEmpty(); }
};

namespace update {

// base + "/api/software-product-versions/latest-byswcode?langCode=EN|CN&swSnCode=Brindlewick":
// EN for English, CN otherwise (the server's code for the other language). A
// base ending with "/" gives no "//".
QString appVersionUrl(const QString& base, bool english);

// Reads the answer of the version query: 200 and JSON with a "swProduct"
// object; anything else gives an empty record.
AppVersionInfo parseAppVersionAnswer(std::uint32_t status, const std::string& body);

// The version text as a number: a text of exactly five characters gets ".0";
// everything up to the last "V"/"v" goes; the dot-separated parts are decimal
// numbers counted in base 1000 (the last part 1, the one before 1000, ...).
// A text that is empty, has an empty or non-numeric part, or whose value does
// not fit 64 bits is unreadable: `ok` is false and the result 0.
quint64 versionNumber(const QString& text, bool* ok = nullptr);

// True when the server's version is readable and above the program's.
bool serverIsNewer(const QString& programVersion, const QString& serverVersion);

} // namespace update

// One blocking check against `base` (the global server address when empty) in
// the language of the settings; never throws, empty on any failure.
AppVersionInfo GetAuthApp(const QString& base = QString());
// The same with a client the caller configured (tests).
AppVersionInfo GetAuthApp(CHvHttp& client, const QString& base, bool english);
