// The one rule for the characters of a file name that came from outside (an
// archive's entry, a downloaded file's name): what may stand in a name we
// create on disk. The unpacker refuses an entry that holds anything but
// plain characters; the download name replaces controls with '_' and drops
// invisible characters.
#pragma once

#include <QString>

namespace filename {

enum class CharKind {
    Plain,
    // C0 and C1 controls, DEL, line and paragraph separators, a lone half of
    // a surrogate pair, noncharacters.
    Control,
    // Characters that change how a name looks without being seen: bidi
    // controls (U+202A-U+202E, U+2066-U+2069, U+200E, U+200F, U+061C), which
    // make "gpj.exe" read as "exe.jpg", zero-width characters, the byte order
    // mark, soft hyphen, tags and every other format character, and the
    // blank fillers of Hangul.
    Invisible,
};

CharKind classify(char32_t c);

// The first character of `name` that is not plain (a surrogate pair counts
// as one character): its position in UTF-16 units, or -1 when all are plain.
int firstNonPlain(const QString& name);

// Names Windows maps to devices, whatever the extension and case: CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM0-COM9, LPT0-LPT9 (also with the superscript
// digits 1-3, and with blanks before the first dot).
bool reservedOnWindows(const QString& part);

} // namespace filename
