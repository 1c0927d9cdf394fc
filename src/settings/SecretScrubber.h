// Takes secrets out of text before it leaves the machine in a support file:
// passwords, tokens, keys, verification codes, Authorization and cookie
// headers. Serial numbers, addresses, versions and everything else stay, so
// the file still tells a developer what happened.
#pragma once

#include <QByteArray>
#include <QString>

namespace SecretScrubber {

// The text that replaces a secret.
inline constexpr const char* kRemoved = "[removed]";

// Scrubs one text (any number of lines). Removed, value by value:
//  - "Authorization:", "Proxy-Authorization:", "Cookie:", "Set-Cookie:"
//    header values, and "Bearer" credentials anywhere;
//  - the value after a name that holds "password", "passwd", "pwd",
//    "token", "secret", "key" or "code" followed by "=" or ":" (also in
//    JSON, quoted, and in URL queries: "?token=...&x=1"); a name with only
//    "code" keeps a value under four characters ("exit code: 1");
//  - six-digit numbers within a few words after "code" ("code is 123456").
QString scrub(const QString& text);
// The same for UTF-8 bytes (log files); invalid sequences pass as they are.
QByteArray scrubUtf8(const QByteArray& text);

} // namespace SecretScrubber
