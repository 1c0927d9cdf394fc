// The rules of remote verification codes and of the remote pages' fields:
// temporary codes, the persistent code file, and the checks that refuse a
// serial, code or port before any connection starts.
#pragma once

#include <QString>

namespace remote {

// Six decimal digits from the system's cryptographic source; a leading 0
// becomes 1, so the code reads the same as text and as a number.
QString temporaryCode();
// Six digits, the first not 0 (what temporaryCode draws).
bool isTemporaryCodeShape(const QString& code);

// Field patterns (QRegularExpressionValidator).
constexpr const char* kSerialPattern = "[A-Z0-9a-z]{1,16}";
constexpr const char* kCodePattern = "[0-9]{1,6}";
constexpr const char* kPortPattern = "[0-9]{1,5}";

// What a check refuses, as the English source text of its toast (translated
// in the "Remote" context by the GUI); empty when the input passes.
QString checkSerial(const QString& sn);
QString checkCode(const QString& code);
QString checkPort(const QString& portText);
// The port as a number when checkPort passes, else 0.
int portNumber(const QString& portText);

// "longTimeCode.ini": section = device serial, key "longTimeCode", the code
// kept as text, so a code starting with 0 keeps its six digits.
class CodeFile {
public:
    explicit CodeFile(QString path);
    const QString& path() const { return m_path; }
    // The stored code, or empty when none (or the file cannot be read).
    QString read(const QString& sn) const;
    // Stores a code of exactly six digits for a non-empty serial; false otherwise.
    bool write(const QString& sn, const QString& code) const;

private:
    QString m_path;
};

// What the persistent-code toggle applies for the text in the code field:
// six digits as they are, anything else a fresh temporary code (not stored),
// so no adapter ever carries a code that everybody knows.
QString persistentCodeFor(const QString& fieldText);

} // namespace remote
