// Line-oriented control interface of the emulator on 127.0.0.1: each line is
// one command, each answer one line (see docs/vci-emulator.md).
#pragma once

#include <QObject>

class QTcpServer;
class QTcpSocket;

namespace vciemu {

class Emulator;

class ControlServer : public QObject {
    Q_OBJECT
public:
    ControlServer(Emulator* emulator, QObject* parent = nullptr);
    bool listen(quint16 port, QString* error);
    quint16 port() const;

private:
    void readLines(QTcpSocket* socket);

    Emulator* m_emulator;
    QTcpServer* m_server;
};

} // namespace vciemu
