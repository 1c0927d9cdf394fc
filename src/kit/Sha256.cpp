#include "kit/Sha256.h"

#include <QFile>

#ifdef BW_KIT_OPENSSL
#include <openssl/evp.h>
#else
#include <QCryptographicHash>
#endif

struct Sha256::State {
#ifdef BW_KIT_OPENSSL
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool ok = context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
    ~State()
    {
        EVP_MD_CTX_free(context);
    }
#else
    QCryptographicHash hash{QCryptographicHash::Sha256};
#endif
};

Sha256::Sha256()
    : m_state(std::make_unique<State>())
{
}

Sha256::~Sha256() = default;

void Sha256::addData(const char* data, qint64 size)
{
    if (size <= 0)
        return;
#ifdef BW_KIT_OPENSSL
    m_state->ok = m_state->ok && EVP_DigestUpdate(m_state->context, data, static_cast<size_t>(size)) == 1;
#else
    m_state->hash.addData(data, static_cast<int>(size));
#endif
}

QString Sha256::hexResult()
{
#ifdef BW_KIT_OPENSSL
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!m_state->ok || EVP_DigestFinal_ex(m_state->context, digest, &size) != 1)
        return QString();
    m_state->ok = false; // a context is finished once
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), static_cast<int>(size)).toHex());
#else
    return QString::fromLatin1(m_state->hash.result().toHex());
#endif
}

QString Sha256::ofFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    Sha256 digest;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0)
            return QString();
        if (n == 0)
            break;
        digest.addData(chunk.constData(), n);
    }
    return digest.hexResult();
}
