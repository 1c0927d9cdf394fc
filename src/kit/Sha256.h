// SHA-256 fed in pieces (a download as it arrives) or over a whole file.
// OpenSSL's implementation where the build has it (it uses the processor's
// SHA instructions), Qt's otherwise.
#pragma once

#include <QString>

#include <memory>

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void addData(const char* data, qint64 size);
    // Lower-case hex of everything added; empty when the digest failed.
    QString hexResult();

    // The digest of a file; empty when it cannot be read.
    static QString ofFile(const QString& path);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
