// The release archive's manifest: the version it carries and one line per
// file with its SHA-256, size and whether it is a program, signed with the
// build's Ed25519 key. The manager checks the signature and every file before
// anything from the archive runs.
//
//   Brindlewick release 1
//   version 1.0.2.0
//   file <sha256 hex> <size> <x|-> <relative path>
//
// "manifest.txt" and its signature "manifest.sig" (64 raw bytes) sit at the
// archive's top; neither is listed in the manifest.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QVector>

namespace update {

inline constexpr const char* kManifestName = "manifest.txt";
inline constexpr const char* kSignatureName = "manifest.sig";
inline constexpr int kMaxManifestEntries = 4096;
inline constexpr qint64 kMaxManifestSize = qint64(1) << 20;

struct ManifestEntry {
    QString path;      // relative, '/' between parts
    QByteArray sha256; // lower-case hex
    qint64 size = 0;
    bool executable = false;
};

struct Manifest {
    QString version;
    QVector<ManifestEntry> entries;
};

class ReleaseCheck {
    Q_DECLARE_TR_FUNCTIONS(ReleaseCheck)
public:
    // Reads the manifest text; false with a reason (for the log) when it is
    // not one: wrong header, a line of another form, an unsafe or repeated
    // path, too many lines.
    static bool parse(const QByteArray& text, Manifest& manifest, QString* reason = nullptr);

    // Ed25519 over `data`; `publicKey` is the 32 raw key bytes.
    static bool signatureValid(const QByteArray& data, const QByteArray& signature, const QByteArray& publicKey);

    // Checks an unpacked release folder: signed manifest, every listed file
    // present as a plain file with its size and sum, nothing unlisted beside
    // them. Empty text when it holds; otherwise a translated message for the
    // user (the details go to the log).
    static QString verifyFolder(const QString& folder, const QByteArray& publicKey, Manifest* manifest = nullptr);

    // The public key the build put into the program.
    static QByteArray buildPublicKey();
};

} // namespace update
