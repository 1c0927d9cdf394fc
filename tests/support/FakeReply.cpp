#include "support/FakeReply.h"

#include <cstring>

FakeReply::FakeReply(const QUrl& url, const QByteArray& body, NetworkError error, const QString& errorText)
    : m_body(body)
{
    setUrl(url);
    setOperation(QNetworkAccessManager::GetOperation);
    open(QIODevice::ReadOnly);
    if (error != NoError)
        setError(error, errorText);
    setFinished(true);
}

FakeReply& FakeReply::withHeader(const QByteArray& name, const QByteArray& value)
{
    setRawHeader(name, value);
    return *this;
}

qint64 FakeReply::bytesAvailable() const
{
    return m_body.size() - m_pos + QIODevice::bytesAvailable();
}

qint64 FakeReply::readData(char* data, qint64 maxSize)
{
    const qint64 n = qMin(maxSize, qint64(m_body.size()) - m_pos);
    if (n <= 0)
        return -1;
    std::memcpy(data, m_body.constData() + m_pos, size_t(n));
    m_pos += n;
    return n;
}
