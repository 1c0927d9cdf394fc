// A finished reply with a chosen URL, headers, body and error, so completion
// handling can be driven without a network.
#pragma once

#include <QNetworkReply>

class FakeReply : public QNetworkReply {
public:
    FakeReply(
        const QUrl& url, const QByteArray& body, NetworkError error = NoError, const QString& errorText = QString())
        : m_body(body)
    {
        setUrl(url);
        setOperation(QNetworkAccessManager::GetOperation);
        open(QIODevice::ReadOnly);
        if (error != NoError)
            setError(error, errorText);
        setFinished(true);
    }

    FakeReply& withHeader(const QByteArray& name, const QByteArray& value)
    {
        setRawHeader(name, value);
        return *this;
    }

    void abort() override { }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_body.size() - m_pos + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, qint64(m_body.size()) - m_pos);
        if (n <= 0)
            return -1;
        memcpy(data, m_body.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }

private:
    QByteArray m_body;
    qint64 m_pos = 0;
};
