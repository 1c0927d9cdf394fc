// A finished network reply with a chosen URL, headers, body and error, so
// completion handling can be driven without a network.
#pragma once

#include <QNetworkReply>

class FakeReply : public QNetworkReply {
public:
    FakeReply(
        const QUrl& url, const QByteArray& body, NetworkError error = NoError, const QString& errorText = QString());

    FakeReply& withHeader(const QByteArray& name, const QByteArray& value);

    void abort() override { }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;

private:
    QByteArray m_body;
    qint64 m_pos = 0;
};
